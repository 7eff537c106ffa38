// The pieces of the editor round trip, kept apart so that the run reads as its steps.
#pragma once

#include <cstdint>
#include <string>

namespace kvplugin {

// The editor's main window bears exactly this title while it runs for the host.
constexpr const char* EditorWindowTitle = "Fernquill Kinevista";
constexpr size_t MaxEditorFolderChars = 127;

// "?" + frame rate x 100 (truncated) + "," + length, e.g. "?2997,300".
std::string EditorArguments(double frameRate, int32_t lengthInFrames);
// The editor program in the folder named by the registry value; "" when there is none.
std::string EditorProgramPath();

bool WriteExchangeFile(const uint8_t* block, uint32_t size);
// Reads up to size bytes; the count read, or -1 when the file cannot be opened.
int32_t ReadExchangeFile(uint8_t* block, uint32_t size);

// A host that keeps a message queue of its own exports this C function (int32_t, no
// arguments; the number of messages it dispatched) from its program file.
constexpr const char* HostDispatchFunction = "KinevistaDispatchThreadMessages";
// Dispatches one message waiting for the calling thread: through the host's export when it
// has one, else from the system's queue. Never blocks.
int32_t DispatchHostMessages();

enum class EditorRun { NotStarted, NoWindow, Closed };
// Starts the editor and waits until its window has come and gone.
EditorRun RunEditor(const std::string& arguments);

}  // namespace kvplugin
