// The packer's entry on Linux: the arguments go to Main as the bytes they
// are, and its users type POSIX shell lines.
#include "main.h"

int main(int argc, char** argv)
{
    return packer::Main(argc, argv, packer::ShellSyntax::kPosix);
}
