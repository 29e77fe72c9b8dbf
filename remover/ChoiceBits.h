#pragma once

namespace remover {

// The bits of the choice mask: the wizard sets them, the removal tool reads
// them. The core files are removed whatever the mask holds.
enum ChoiceBits : int {
    UserSettingsChoiceBit = 2,
    ExternalDataHomeChoiceBit = 4,
};

} // namespace remover
