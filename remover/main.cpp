#include "RemovalTool.h"

int main(int argc, char** argv)
{
    return runRemovalTool(argc, argv);
}
