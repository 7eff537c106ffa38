// User alerts: the one way the core reports to the user.
//
// The messages go through a replaceable sink. The window layer installs one that shows message
// boxes; without it, alerts print "Alert: <text>" to standard error and questions are answered
// by a scripted responder (a queue of answers, else a fixed default).
#pragma once

#include <cstdint>
#include <string>

namespace kv {

constexpr int32_t NoAlertCode = -9999;

enum class AlertKind { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// A sink shows one message (already formatted) and returns the user's answer.
class AlertSink {
public:
    virtual ~AlertSink() = default;
    virtual Answer Show(AlertKind kind, const std::string& text, const std::string& caption) = 0;
};

// Installs a sink for the process (nullptr restores the console sink); returns the previous one.
AlertSink* SetAlertSink(AlertSink* sink);

// The console sink's answers: each question takes the next queued answer, else the default.
void QueueScriptedAnswer(Answer a);
void SetDefaultAnswer(Answer a);

// Text with "  [ %ld ]" appended unless code is NoAlertCode, cut to 255 characters.
std::string FormatAlert(const char* text, int32_t code);

void Alert(const char* text, int32_t code = NoAlertCode);

// Warnings: work that went on without part of what was asked (a picture shown without its
// colour profile). They never open a dialog: by default each is one line, "Warning: <text>", on
// standard error. A sink replaces that line (tests record them); nullptr restores it. Returns
// the previous sink.
using WarningSink = void (*)(const std::string& text);
WarningSink SetWarningSink(WarningSink sink);
void Warning(const std::string& text);
bool AskYesNo(const char* text, const char* caption);
int32_t AskYesNoCancel(const char* text, const char* caption);

}  // namespace kv
