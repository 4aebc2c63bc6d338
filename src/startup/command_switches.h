// The switches of a run that no user attends: what the command line asks
// for, read past the program's own name. Platform-free C, so that the host
// tests and a fuzz target read command lines exactly as the stub does.
#pragma once
#include <stdint.h>

/* What a command line holds; the bits of CommandSwitches.given. */
#define SWITCH_SILENT       0x01u   // /S: no window and no message box
#define SWITCH_FOLDER       0x02u   // /D=PATH: where the extraction folder goes
#define SWITCH_EXTRACT_ONLY 0x04u   // /X: extract, run nothing, keep the files
#define SWITCH_PASSWORD     0x08u   // /P=PASSWORD
#define SWITCH_LOG          0x10u   // /LOG=FILE
#define SWITCH_HELP         0x20u   // /? or /HELP
#define SWITCH_UNKNOWN      0x40u   // a word that is no switch of ours, or a value missing or too long

/* Value sizes, the zero included; a longer value is refused, never cut,
   since a cut path names another one. */
#define SWITCH_PATH_SIZE     260
#define SWITCH_PASSWORD_SIZE 128

struct CommandSwitches {
    uint32_t given;                          // SWITCH_* bits
    char folder[SWITCH_PATH_SIZE];           // /D's value when SWITCH_FOLDER
    char logFile[SWITCH_PATH_SIZE];          // /LOG's value when SWITCH_LOG
    char password[SWITCH_PASSWORD_SIZE];     // /P's value when SWITCH_PASSWORD
};

// Reads the switches of line, a whole command line with the program's name
// first (in quotes or not), into out (all of it rewritten). Each switch
// starts with '/' or '-' and is told apart from the others without regard to
// case; a value follows '=' and may be quoted in part or whole, as in
// /D="C:\Program Files\App" or "/D=C:\Program Files\App". Returns out->given.
uint32_t ParseCommandSwitches(const char* line, CommandSwitches* out);
