// Localized texts from the string table into memory and into dialog controls.
#pragma once
#include <windows.h>
#include <stdint.h>

#define UI_STRING_SIZE 4096

// One pair of a dialog text table: a control and the base id of its text.
// A table ends with a pair whose item id is 0.
struct DialogText {
    uint32_t itemId;
    uint32_t baseStringId;
};

// The localized string as a heap copy, or a shared empty text when missing.
const char* LoadUiString(uint32_t baseId);

// Sets a control's text; a missing string leaves the control as it is.
void SetItemText(HWND dialog, int itemId, uint32_t baseId);

void ApplyDialogTexts(HWND dialog, const DialogText* table);

/* The text tables of the frame and the pages. */
extern const DialogText FrameButtonTexts[];
extern const DialogText PasswordPromptTexts[];
extern const DialogText WrongPasswordTexts[];
extern const DialogText FolderPageTexts[];
extern const DialogText ProgressPageTexts[];
