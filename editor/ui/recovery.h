// The recovery copy: while the show has unsaved changes, the editor keeps a copy of it in the
// public folder, so that a crash or a killed process loses nothing. It is written atomically
// (a temporary file renamed over the old copy) after every change of the keys and every 30
// seconds, always from the message loop or a command, never from a paint.
//
// A copy goes only when its changes are safe or unwanted: the show was saved (or handed back to
// the host), or the person answered No to saving it ("Quit - DON'T Apply changes" counts as No).
// Every other way out (the viewer closed, a save dialog cancelled after Yes, a signal, a lost
// display, a crash) leaves it, and a show replaced in the editor with changes nobody answered
// for leaves its copy too.
//
// A copy belongs to the run that writes it while that run lives: the run holds a lock file
// (platform/os/run_lock.h) and each copy names it. Copies of live runs are never offered to
// another run and never removed by one. Once its run has ended a copy is "left": opening its
// show offers it (the command line, Load Show), a stand-alone start without a file offers every
// left copy naming its show, and a host run offers those of its exchange file.
//
// Each copy says which show it holds: stand-alone the show's file as a full path (or
// "untitled"), for the host a hash of the exchange file's bytes as they were at start-up. It
// also records the show's folder, where a recovered show looks for its picture as the show
// itself would. Stand-alone copies are "Kinevista-recovery.kvx", "Kinevista-recovery-2.kvx" ...,
// a run for the host keeps "kvdata-recovery*.kvx" and never touches the exchange file itself.
//
// Thread rule: UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/run_lock.h"

namespace kv {

class EditSession;
class Show;

class RecoveryCopy {
public:
    // The copy keeps the show of `session`, which outlives it.
    explicit RecoveryCopy(EditSession& session) : m_session(session) {}

    // A run starts: chooses the names for the mode, takes this run's lock, removes the locks of
    // ended runs and forgets what was written before; for the host it takes the exchange file's
    // identity now, before the show is read from it.
    void Configure(bool hostMode);
    // The run ends: its lock goes, so the copies it leaves are offered to later runs.
    void EndRun();
    // This run's copy: the file that holds it, or the free one it will be written to.
    const std::string& Path() const;
    // Whether this run's copy is on disk.
    bool Exists() const;
    // The show this run's copies belong to.
    std::string Owner() const;

    // A copy left by a run that has ended.
    struct LeftCopy {
        std::string file;      // full path of the copy
        std::string showPath;  // the show's own file ("" never saved)
        std::string owner;
    };
    // The left copies of `owner`, or every left copy of the mode when owner is empty; the
    // newest first.
    std::vector<LeftCopy> LeftBehind(const std::string& owner) const;
    // Loads a left copy into the show (dirty, with its own file and folder); it becomes this
    // run's copy.
    bool Adopt(const LeftCopy& copy, Show& show);
    // Removes a left copy the person declined.
    void Drop(const LeftCopy& copy);

    // The keys were changed: a dirty show is written now.
    void KeysEdited();
    // The 30-second timer: a dirty show that changed since the last copy is written.
    void Tick();
    // After each message of the main loop: catches changes made by the views (drags, dialogs).
    void AfterMessage();
    // Writes the editor's show now; false when it cannot be written.
    bool Write();
    bool Write(const Show& show);
    // The show's changes are saved: this run's copy goes.
    void Remove();
    // The person answered No to saving the show as it is now: its copy goes and is not written
    // again until the show changes.
    void Declined();
    // The show is about to be replaced (New Show, Load Show, a batch): a copy of changes nobody
    // answered for stays on disk and this run's next copy goes to a new file; else it goes.
    void ShowReplaced();
    // The run's end: a dirty show nobody declined is written and kept, otherwise its copy goes;
    // then the lock is given up.
    void Finish();
    // For an end the program does not control (the display connection lost): a dirty show is
    // written at once. It touches only the show and the file system, never the window layer.
    void Rescue();
    // Loads this run's copy into the show: it keeps `showFile` as the copy remembers it and is
    // dirty.
    bool LoadInto(Show& show);
    // How many copies were written (for the tests).
    int64_t Writes() const { return m_writes; }
    // Whether copies can be kept: the public folder took this run's lock file.
    bool CanKeepCopies() const { return m_lock.Held(); }
    // The lock file of this run ("" when it could not be taken).
    const std::string& RunName() const { return m_lock.Name(); }

private:
    uint64_t Fingerprint(const Show& show) const;
    bool Unanswered(const Show& show) const;
    // A free name, created empty so that no other run takes it ("" when none can be made).
    std::string ClaimName() const;
    std::string NumberedName(int i) const;
    bool LoadCopyFile(const std::string& file, Show& show);

    std::string m_folder;
    std::string m_stem;  // "Kinevista-recovery" or "kvdata-recovery"
    bool m_host = false;
    bool m_configured = false;
    std::string m_hostOwner;      // "exchange:" and the hash of the exchange file at start-up
    mutable std::string m_found;  // the last name Path() chose
    std::string m_written;        // the file of this run's copy of the show being edited
    uint64_t m_lastWritten = 0;
    uint64_t m_declined = 0;  // the show as it was when the person declined to save it
    std::string m_leftFile;   // the copy ShowReplaced left, and the show it holds
    uint64_t m_leftPrint = 0;
    int64_t m_writes = 0;
    os::RunLock m_lock;
    EditSession& m_session;
};

// The running editor's recovery copy: the one its application object owns and lends with
// UseRecovery while it lives; without one, a stand-by copy of this process. UI thread only.
RecoveryCopy& Recovery();
// The copy Recovery() answers from now on; null goes back to the stand-by one.
void UseRecovery(RecoveryCopy* copy);

// Offers the left copies of `owner` (every left copy of the mode when owner is empty, each
// question naming its show): Yes loads that one into the show and ends the offer (true), No
// removes that copy and goes on to the next.
bool OfferLeftCopies(RecoveryCopy& recovery, Show& show, const std::string& owner);

// The identity of a stand-alone show in its copies: its file as a full path, "untitled" for none.
std::string StandAloneOwner(const std::string& showPath);

// What a start says once when the public folder cannot be written.
std::string UnwritableFolderMessage(const std::string& folder);

// Writes bytes to a file through a temporary file in the same folder and a rename.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size);

}  // namespace kv
