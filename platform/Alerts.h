// Standard alerts. Without a display a stop alert prints its headline and text to standard error
// and the caller then ends the process; a caution alert prints and answers its default button.
// A windowed presenter (the dialog layer) can be installed behind the same calls.
#pragma once
#include <cstdint>
#include <string_view>

enum AlertType : int16_t { kAlertStopAlert = 0,
                           kAlertNoteAlert = 1,
                           kAlertCautionAlert = 2 };
enum : int16_t { kAlertStdAlertOKButton = 1,
                 kAlertStdAlertCancelButton = 2 };

struct AlertStdCFStringAlertParamRec {
    int32_t version;  // 1
    bool movable;
    bool helpButton;
    std::string_view defaultText;
    std::string_view cancelText;  // empty: no cancel button
    std::string_view otherText;
    int16_t defaultButton;
    int16_t cancelButton;
    int16_t position;
    uint32_t flags;
};

// Shows the alert and returns the item hit (1 default, 2 cancel).
int16_t RunStandardAlert(AlertType type, std::string_view headline, std::string_view text,
                         const AlertStdCFStringAlertParamRec* params);

// Ends the process at once with a failure status; nothing is saved or cleaned up.
[[noreturn]] void ExitToShell();

using AlertPresenter = int16_t (*)(AlertType type, std::string_view headline, std::string_view text,
                                   const AlertStdCFStringAlertParamRec* params);
// Installs a presenter for windowed alerts; null restores the headless one. Returns the previous one.
AlertPresenter SetAlertPresenter(AlertPresenter presenter);
