#include "platform/Alerts.h"

#include <cstdio>
#include <cstdlib>

namespace {
int16_t HeadlessAlert(AlertType type, std::string_view headline, std::string_view text,
                      const AlertStdCFStringAlertParamRec* params) {
    const char* kind = type == kAlertStopAlert ? "stop" : type == kAlertCautionAlert ? "caution"
                                                                                     : "note";
    std::fprintf(stderr, "[%s] %.*s\n%.*s\n", kind, int(headline.size()), headline.data(), int(text.size()),
                 text.data());
    std::fflush(stderr);
    return params ? params->defaultButton : int16_t(kAlertStdAlertOKButton);
}

AlertPresenter lgPresenter = HeadlessAlert;
}  // namespace

int16_t RunStandardAlert(AlertType type, std::string_view headline, std::string_view text,
                         const AlertStdCFStringAlertParamRec* params) {
    return lgPresenter(type, headline, text, params);
}

void ExitToShell() {
    std::fflush(nullptr);
    std::_Exit(1);
}

AlertPresenter SetAlertPresenter(AlertPresenter presenter) {
    AlertPresenter old = lgPresenter;
    lgPresenter = presenter ? presenter : HeadlessAlert;
    return old;
}
