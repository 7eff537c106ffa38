// The recovery copy: while the show has unsaved changes, the editor keeps a copy of it in the
// public folder, so that a crash or a killed process loses nothing. It is written atomically
// (a temporary file renamed over the old copy) after every change of the keys and every 30
// seconds, always from the message loop or a command, never from a paint. A clean exit, a save,
// a discard or a new show removes it; the next start offers it back when one is left.
//
// Stand-alone runs keep "Kinevista-recovery.kvx"; a run for the host keeps one per exchange
// file ("kvdata-recovery.kvx") and never touches the exchange file itself.
//
// A copy belongs to one show and says which: stand-alone the show's file path (or "untitled"),
// for the host a hash of the exchange file's bytes as they were at start-up (the show id is
// drawn anew at every write and names nothing). A run offers only its own copy and never
// overwrites or removes another's: when the file holds a copy of another show, this run keeps
// its copy under the next free numbered name ("Kinevista-recovery-2.kvx" ...).
//
// Thread rule: UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

class Show;

class RecoveryCopy {
public:
    // Chooses the file for the mode and forgets what was written before; for the host it takes
    // the exchange file's identity now, before the show is read from it.
    void Configure(bool hostMode);
    // This run's copy: the file that holds it, or the free one it will be written to.
    const std::string& Path() const;
    // Whether a copy of this run's show is there (copies of other shows do not count).
    bool Exists() const;
    // The show this run's copies belong to.
    std::string Owner() const;

    // The keys were changed: a dirty show is written now.
    void KeysEdited();
    // The 30-second timer: a dirty show that changed since the last copy is written.
    void Tick();
    // After each message of the main loop: catches changes made by the views (drags, dialogs).
    void AfterMessage();
    // Writes the editor's show now; false when it cannot be written.
    bool Write();
    bool Write(Show& show);
    void Remove();
    // For an end the program does not control (the display connection lost): a dirty show is
    // written at once. It touches only the show and the file system, never the window layer.
    void Rescue();
    // Loads the copy into the show: it keeps `showFile` as the copy remembers it and is dirty.
    bool LoadInto(Show& show);
    // How many copies were written (for the tests).
    int64_t Writes() const { return m_writes; }

private:
    uint64_t Fingerprint(const Show& show) const;
    // The file holding the copy of `owner`, else the first free name.
    const std::string& PathFor(const std::string& owner) const;
    std::string m_path;  // the first name for the mode
    bool m_host = false;
    std::string m_hostOwner;      // "exchange:" and the hash of the exchange file at start-up
    mutable std::string m_found;  // the last name Path() chose
    std::string m_written;        // the file this run last wrote its copy to
    uint64_t m_lastWritten = 0;
    int64_t m_writes = 0;
};

RecoveryCopy& Recovery();

// Writes bytes to a file through a temporary file in the same folder and a rename.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size);

}  // namespace kv
