// The setup dialog: the host list on the right, the editor of one host on the
// left (host_editor.h). The dialog owns the model that it shows and edits
// (setup_model.h) and decides which record the editor shows.
#pragma once

#include "host_editor.h"
#include "host_records.h"
#include "setup_model.h"

#include <windows.h>

#include <optional>

// Topics of the help file.
inline constexpr UINT kFirstStartHelpTopic = 700;
inline constexpr UINT kSetupDialogHelpTopic = 0x20000 + 102;

// The caption of the dialog template.
inline constexpr const char* kSetupDialogTitle = "Quillo Setup";
inline constexpr const char* kNoHostsText = "(no hosts configured)";
inline constexpr const char* kSavePromptText = "Do you want to save your changes?";

class SetupDialog {
public:
    explicit SetupDialog(HINSTANCE instance);
    SetupDialog(const SetupDialog&) = delete;
    SetupDialog& operator=(const SetupDialog&) = delete;
    ~SetupDialog();

    // Runs the dialog until it ends; its result (IDOK or IDCANCEL).
    INT_PTR RunModal(HWND owner);

    // The same dialog without a modal loop of its own, for a caller that
    // pumps the messages itself; ending it destroys the window.
    HWND CreateModeless(HWND owner);

    HWND window() const { return window_; }
    bool ended() const { return ended_; }
    INT_PTR result() const { return result_; }
    SetupModel& model() { return model_; }

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The host list.
    void InitDialog();
    void AddHost();
    void DeleteHost();
    void SelectHost();
    // False when a field refused its text: the user has been told, the focus
    // is in that field, and nothing of the host was committed.
    bool CommitCurrentHost();
    void SaveAndExit();
    void ConfirmClose();
    void Cancel();
    void ShowHelp();
    static void FreeHostStrings(HostConfig& host);

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void FitLabels();
    // Each line of the host list as HostLabel names its host.
    void ShowHostLabels();
    void HandleCommand(int id, int code);
    bool PaintMinimised();
    void End(INT_PTR result);
    LRESULT SendItem(int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    HINSTANCE instance_;
    HICON icon_;  // shared resource icons: never destroyed
    HICON smallIcon_;
    HWND window_ = nullptr;
    SetupModel model_;
    // Made with the window, at WM_INITDIALOG, before any other message of
    // the dialog is handled.
    std::optional<HostEditor> editor_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = 0;
};

// Shown when memory runs out anywhere in the setup program: "Out of
// memory!", then the program ends with exit status 1, before anything more
// is written.
[[noreturn]] void ReportOutOfMemory();
