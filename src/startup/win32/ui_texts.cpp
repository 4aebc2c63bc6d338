// Localized texts: string loading and the dialog text tables.
#include "startup/win32/ui_texts.h"

#include "resource_ids.h"
#include "startup/win32/checked_alloc.h"
#include "startup/win32/startup_state.h"

const DialogText FrameButtonTexts[] = {
    {IDC_CANCEL, IDS_CANCEL}, {IDC_BACK, IDS_BACK}, {IDC_NEXT, IDS_NEXT}, {0, 0}};
const DialogText PasswordPromptTexts[] = {{IDC_PASSWORD_PROMPT, IDS_PASSWORD_PROMPT}, {0, 0}};
const DialogText WrongPasswordTexts[] = {{IDC_PASSWORD_PROMPT, IDS_PASSWORD_WRONG}, {0, 0}};
const DialogText FolderPageTexts[] = {
    {IDC_FOLDER_TEXT, IDS_FOLDER_EXPLANATION}, {IDC_FOLDER_BROWSE, IDS_BROWSE}, {0, 0}};
const DialogText ProgressPageTexts[] = {
    {IDC_PROGRESS_HEADING, IDS_PLEASE_WAIT}, {IDC_PROGRESS_STATUS, IDS_CHECKING_ARCHIVE}, {0, 0}};

static const char EmptyText[] = "";

const char* LoadUiString(uint32_t baseId)
{
    char text[UI_STRING_SIZE];
    int length = LoadStringA(ModuleInstance, baseId + UiStringOffset, text, UI_STRING_SIZE);
    if (length <= 0)
        return EmptyText;
    return DuplicateText(text, length);
}

void SetItemText(HWND dialog, int itemId, uint32_t baseId)
{
    char text[UI_STRING_SIZE];
    if (LoadStringA(ModuleInstance, baseId + UiStringOffset, text, UI_STRING_SIZE) > 0)
        SetDlgItemTextA(dialog, itemId, text);
}

void ApplyDialogTexts(HWND dialog, const DialogText* table)
{
    for (; table->itemId != 0; table++)
        SetItemText(dialog, (int)table->itemId, table->baseStringId);
}
