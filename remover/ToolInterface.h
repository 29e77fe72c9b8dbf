#pragma once

// What passes between the wizard and the removal tool besides the choice
// mask's bits (ChoiceBits.h): the tool's command line, which the wizard
// writes and the tool reads, and the words of the verdict, which the tool
// writes into its result file and the wizard reads.
namespace remover {

// The place of each argument in the tool's argument vector; 0 is the program.
enum ToolArgument : int {
    ChoiceMaskArgument = 1, // in decimal
    HomeFolderArgument = 2, // absolute, without a trailing separator
    ResultFileArgument = 3, // absolute
    ToolArgumentCount = 4, // the program path included
};

// The whole content of the result file: no line end, nothing else.
inline constexpr char kVerdictSuccess[] = "success";
inline constexpr char kVerdictFailed[] = "failed";

} // namespace remover
