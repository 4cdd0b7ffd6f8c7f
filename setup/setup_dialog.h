// The setup dialog: the host list on the right, the editor of one host on the
// left. The dialog owns the model that it shows and edits (setup_model.h).
#pragma once

#include "host_records.h"
#include "setup_model.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Topics of the help file.
inline constexpr UINT kFirstStartHelpTopic = 700;
inline constexpr UINT kSetupDialogHelpTopic = 0x20000 + 102;

// The caption of the dialog template.
inline constexpr const char* kSetupDialogTitle = "Quillo Setup";
inline constexpr const char* kNoHostsText = "(no hosts configured)";
inline constexpr const char* kSavePromptText = "Do you want to save your changes?";
inline constexpr const char* kPathTooLongText = "The path of the chosen file is too long (at most 98 characters).";
inline constexpr const char* kPortRefusedText = "Port must be a number from 1 to 65535.";

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

    // The host editor.
    // A drop-down list's entries, in stored-value order.
    void FillCombo(int control, std::span<const char* const> names);
    void FillActionCombo();
    void ShowHost(const HostConfig& host);
    void ClearFields();
    // Whether a value changed; nothing when a field refused its text, and
    // then the record is left as it was.
    std::optional<bool> StoreFields(HostConfig& host);
    bool BrowseMailReader();
    bool BrowseSound();

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR ColorStatic(HDC dc, HWND control) const;
    void FitLabels();
    void HandleCommand(int id, int code);
    bool PaintMinimised();
    void End(INT_PTR result);
    bool StoreTextField(int control, std::string& field);
    std::string FieldText(int control) const;
    void KeepWithinStoredLength(int control);
    void ShowPortHint();
    void RefuseField(int control, const char* text);
    bool PickFile(int control, DWORD bufferSize, const char* filter, const char* defaultExtension);
    LRESULT SendItem(int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    HINSTANCE instance_;
    HICON icon_;       // shared resource icons: never destroyed
    HICON smallIcon_;
    HWND window_ = nullptr;
    SetupModel model_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = 0;
};

// Shown when memory runs out anywhere in the setup program: "Out of
// memory!", then the program ends with exit status 1, before anything more
// is written.
[[noreturn]] void ReportOutOfMemory();
