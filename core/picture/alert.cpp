// Alerts through the installed sink; the console sink is the default.
#include "core/picture/alert.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>

namespace kv {

namespace {

// Global: the console sink's scripted answers, one queue for the process (tests and the tools
// queue answers before the work that asks); guarded by the lock, the default set at start-up.
std::mutex g_answerLock;
std::deque<Answer> g_answers;
Answer g_defaultAnswer = Answer::No;

class ConsoleSink final : public AlertSink {
public:
    Answer Show(AlertKind kind, const std::string& text, const std::string& caption) override {
        if (kind == AlertKind::Ok) {
            std::fprintf(stderr, "Alert: %s\n", text.c_str());
            return Answer::Ok;
        }
        Answer a = g_defaultAnswer;
        {
            std::lock_guard<std::mutex> lock(g_answerLock);
            if (!g_answers.empty()) {
                a = g_answers.front();
                g_answers.pop_front();
            }
        }
        if (kind == AlertKind::YesNo && a == Answer::Cancel) a = Answer::No;
        std::fprintf(stderr, "Ask: %s: %s\n", caption.c_str(), text.c_str());
        return a;
    }
};

// Global: alerts have one destination per process, chosen at start-up (message boxes in the
// editor, the console elsewhere); atomic as the plug-in's threads may alert.
ConsoleSink g_console;
std::atomic<AlertSink*> g_sink{&g_console};

void ConsoleWarning(const std::string& text) {
    std::fprintf(stderr, "Warning: %s\n", text.c_str());
}

// Global for the same reason as the alert sink.
std::atomic<WarningSink> g_warningSink{ConsoleWarning};

}  // namespace

AlertSink* SetAlertSink(AlertSink* sink) {
    AlertSink* old = g_sink.exchange(sink ? sink : &g_console);
    return old == &g_console ? nullptr : old;
}

void QueueScriptedAnswer(Answer a) {
    std::lock_guard<std::mutex> lock(g_answerLock);
    g_answers.push_back(a);
}

void SetDefaultAnswer(Answer a) {
    std::lock_guard<std::mutex> lock(g_answerLock);
    g_defaultAnswer = a;
}

std::string FormatAlert(const char* text, int32_t code) {
    char buf[256];
    if (code == NoAlertCode) {
        std::snprintf(buf, sizeof buf, "%s", text ? text : "");
    } else {
        std::snprintf(buf, sizeof buf, "%s  [ %ld ]", text ? text : "", static_cast<long>(code));
    }
    return buf;
}

void Alert(const char* text, int32_t code) {
    g_sink.load()->Show(AlertKind::Ok, FormatAlert(text, code), "");
}

bool AskYesNo(const char* text, const char* caption) {
    return g_sink.load()->Show(AlertKind::YesNo, text ? text : "", caption ? caption : "") ==
           Answer::Yes;
}

int32_t AskYesNoCancel(const char* text, const char* caption) {
    Answer a =
        g_sink.load()->Show(AlertKind::YesNoCancel, text ? text : "", caption ? caption : "");
    return a == Answer::Yes ? 1 : a == Answer::No ? 0 : -1;
}

WarningSink SetWarningSink(WarningSink sink) {
    const WarningSink old = g_warningSink.exchange(sink ? sink : ConsoleWarning);
    return old == ConsoleWarning ? nullptr : old;
}

void Warning(const std::string& text) {
    g_warningSink.load()(text);
}

}  // namespace kv
