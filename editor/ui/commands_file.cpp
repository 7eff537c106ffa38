// The File menu's commands and the close sequence: pictures and shows in and out, movies and
// stills, the frame rate, and the questions that guard unsaved changes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/document/show_edits.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/render/treatments.h"
#include "core/show/show.h"
#include "editor/ui/commands.h"
#include "editor/ui/editor_movie_host.h"
#include "editor/ui/main_window.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
#include "output/make_movie.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "platform/codecs/more_codecs.h"
#include "platform/os/atomic_file.h"

namespace kv {

namespace {

constexpr const char* ShowFilter = "Kinevista Files (*.kvx)|*.kvx|All Files (*.*)|*.*|";

FileSpec InitialFolderSpec(Settings& s) {
    FileSpec folder;
    folder.SetPath(s.ReadString("InitialFolder", "").c_str());
    folder.vRefNum = static_cast<int16_t>(s.ReadInt("InitialVrefnum", 0));
    folder.parID = s.ReadInt("InitialParID", 0);
    return folder;
}

void StoreInitialFolder(Settings& s, const std::string& folder, const FileSpec& chosen) {
    s.WriteString("InitialFolder", folder.c_str());
    s.WriteInt("InitialVrefnum", chosen.vRefNum);
    s.WriteInt("InitialParID", chosen.parID);
    s.Save();
}

// What a file is on disk: its size, its change time and a hash of its bytes ("" when it does
// not exist). A show file is small; a file of another kind is hashed over its first megabyte.
std::string DiskStamp(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return "";
    const auto time = std::filesystem::last_write_time(path, ec);
    uint64_t h = 1469598103934665603ull;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char buf[4096];
        size_t n, total = 0;
        while (total < (1u << 20) && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            for (size_t i = 0; i < n; ++i) h = (h ^ buf[i]) * 1099511628211ull;
            total += n;
        }
        std::fclose(f);
    }
    return std::to_string(size) + ":" + std::to_string(ec ? 0 : time.time_since_epoch().count()) +
           ":" + std::to_string(h);
}

std::string FolderPart(const char* path) {
    std::string p = path ? path : "";
    const size_t cut = p.find_last_of("\\/:");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

}  // namespace

// --- The menu's work ----------------------------------------------------------------------------
void CMain::CloseSequence() {
    kv::Show& show = session.TheShow();
    if (show.dirty && !show.hostMode) {
        if (AskYesNo("Do you want to save this show?", "Exit Application"))
            SaveShowCommand();
        else
            recovery.Declined();
    }
    // Nothing cancels the close: a save that did not happen leaves the recovery copy.
    PostQuitMessage(0);
}

void CMain::RememberShowFile() {
    const kv::Show& show = session.TheShow();
    fileSeen = show.showFile.Empty() ? std::string() : std::string(show.showFile.path);
    stampSeen = fileSeen.empty() ? std::string() : DiskStamp(fileSeen);
}

bool CMain::MayWriteOver(const std::string& path, bool* another) {
    *another = false;
    // Only the file this show was read from or saved to: any other existing file was chosen
    // in the save dialog, which asks about replacing it.
    if (fileSeen.empty() || !os::SameFile(path, fileSeen) || DiskStamp(path) == stampSeen)
        return true;
    const int32_t a = AskYesNoCancel(
        "The show file was changed on disk by another program since it was opened or saved "
        "here.\nYes: write over that change.  No: save under another name.",
        "Save Show");
    if (a < 0) return false;
    if (a == 0) {
        *another = true;
        return false;
    }
    return true;
}

bool CMain::SaveShowCommand() {
    kv::Show& show = session.TheShow();
    FileSpec io = show.showFile;
    const FileSpec folder = InitialFolderSpec(session.Store());
    ShowViewer(false);
    const bool chosen = ChooseFileToSave(hwnd, &io, ShowFilter, ".kvx", &folder);
    ShowViewer(true);
    if (!chosen) return false;
    const std::string path = io.path;
    bool another = false;
    if (!MayWriteOver(path, &another)) return another ? SaveShowCommand() : false;
    bool written = false;
    // A host run hands the show back in a smaller buffer: a show that does not fit is refused.
    if (!show.hostMode || BuildShowBlock(show, show.showId, nullptr) <= ExchangeBufferBytes)
        written = SaveShow(show, path);
    show.showFile.SetPath(path.c_str());
    if (written) {
        recovery.Remove();
        RememberShowFile();
    } else {
        // Nothing reached the disk: the show keeps its changes (a failed save leaves it as it
        // was) and the user hears of it.
        Alert("The show could not be saved to this file.");
    }
    SetShowTitle(path.c_str());
    StoreInitialFolder(session.Store(), FolderPart(path.c_str()), io);
    return written;
}

void CMain::QuickSave() {
    kv::Show& show = session.TheShow();
    if (show.showFile.Empty()) {
        SaveShowCommand();
        return;
    }
    bool another = false;
    if (!MayWriteOver(show.showFile.path, &another)) {
        if (another) SaveShowCommand();
        return;
    }
    const bool written = SaveShow(show, show.showFile.path);
    if (written) {
        recovery.Remove();
        RememberShowFile();
    } else {
        Alert("The show could not be saved to this file.");
    }
}

bool CMain::AskToSaveFirst(const char* title) {
    kv::Show& show = session.TheShow();
    if (!show.dirty) return true;
    const int32_t a = AskYesNoCancel("Do you want to save current show?", title);
    if (a < 0) return false;
    if (a > 0)
        SaveShowCommand();
    else
        recovery.Declined();
    return true;
}

void CMain::NewShow() {
    kv::Show& show = session.TheShow();
    if (show.dirty) {
        if (show.hostMode) {
            if (!AskYesNo("Are you sure?", "New Show")) return;
            recovery.Declined();
        } else if (!AskToSaveFirst()) {
            return;
        }
    }
    recovery.ShowReplaced();
    SetShowTitle(nullptr);
    session.ReplaceShow([](kv::Show& sh) { sh.Reset(); });
    RememberShowFile();
}

void CMain::LoadShowCommand() {
    kv::Show& show = session.TheShow();
    if (!AskToSaveFirst()) return;
    FileSpec chosen;
    const FileSpec folder = InitialFolderSpec(session.Store());
    ShowViewer(false);
    if (ChooseFileToOpen(hwnd, &chosen, ShowFilter, ".kvx", &folder, false)) {
        recovery.ShowReplaced();
        if (LoadShow(show, chosen.path, true)) {
            session.ForgetHistory();
            SetShowTitle(chosen.path);
            RememberShowFile();
            // A run that ended with unsaved changes to this show left them: offered first.
            if (OfferLeftCopies(recovery, show, StandAloneOwner(chosen.path))) {
                session.ForgetHistory();
                SetShowTitle(show.showFile.Empty() ? nullptr : show.showFile.path);
            }
            if (stage) stage->FitPicture(false);
        }
        StoreInitialFolder(session.Store(), chosen.path, chosen);
        session.GoToFrame(show.currentFrame, true);
        if (timeline && timeline->hwnd) timeline->SetScaleForLength(show.length);
        session.Notify(ChangedKeys | ChangedPicture | ChangedEditState);
    }
    Redraw();
    ShowViewer(true);
}

void CMain::LoadPicture() {
    kv::Show& show = session.TheShow();
    std::string filter = "All Graphics Files|*.bmp;*.tga;*.tif;*.psd";
    if (show.GdiplusHasJpegDecoder) filter += ";*.jpg;*.png";
    if (MoreCodecsPresent()) filter += ";*.tiff;*.heic;*.heif;*.avif;*.webp";
    filter += "|BMP Files (*.bmp)|*.bmp|Targa Files (*.tga)|*.tga|TIFF Files (*.tif)|*.tif";
    if (MoreCodecsPresent()) filter += ";*.tiff";
    filter += "|Photoshop Files (*.psd)|*.psd";
    if (show.GdiplusHasJpegDecoder) filter += "|Jpeg Files (*.jpg)|*.jpg|PNG Files (*.png)|*.png";
    if (MoreCodecsPresent())
        filter +=
            "|HEIF Files (*.heic;*.heif;*.avif)|*.heic;*.heif;*.avif|WebP Files (*.webp)|*.webp";
    filter += "|All Files (*.*)|*.*|";
    const FileSpec folder = InitialFolderSpec(session.Store());
    FileSpec chosen;
    ShowViewer(false);
    if (ChooseFileToOpen(hwnd, &chosen, filter.c_str(), ".bmp", &folder, false)) {
        // The picture is read and the question asked before the edit; the load and the matched
        // moves are then one step. The show keeps its records (and its unsaved mark) until the
        // edit puts the loaded ones in.
        const ShowRecords before = RecordsOf(show);
        const bool wasDirty = show.dirty;
        const int32_t oldWidth = show.image.Width(), oldHeight = show.image.Height();
        PrepPicture(show, chosen, 0, 0);
        const int32_t newWidth = show.image.Width(), newHeight = show.image.Height();
        const ShowRecords loaded = RecordsOf(show);
        RestoreRecords(show, before);
        show.dirty = wasDirty;
        const bool match = MatchMovesOffered(loaded.pictures[0].keyCount, oldWidth, oldHeight,
                                             newWidth, newHeight) &&
                           AskYesNo("Match moves to new Picture size?", "Match Moves");
        session.Edit([&](kv::Show& sh) {
            RestoreRecords(sh, loaded);
            if (match) MatchMoves(sh, 0, oldWidth, oldHeight, newWidth, newHeight);
        });
        StoreInitialFolder(session.Store(), FolderPart(chosen.path), chosen);
        recovery.KeysEdited();
        if (stage) stage->FitPicture(false);
    }
    Redraw();
    ShowViewer(true);
    session.GoToFrame(0, true);
    session.Notify(ChangedKeys | ChangedPicture | ChangedEditState);
}

void CMain::SetFrameRate(int id) {
    const int32_t rate = id == CmdNtsc ? 2997 : id == CmdPal ? 2500 : 2397;
    // A program-wide setting the show carries: through the session, but no step and no unsaved
    // mark, since the show's records do not hold it.
    session.Edit([rate](kv::Show& show) { show.FrameRate = rate; });
    WriteSetting("FrameRate", rate);
    Redraw();
}

// --- The rows -----------------------------------------------------------------------------------
void RunLoadPicture(CMain& m, int) {
    m.LoadPicture();
}

void RunNewShow(CMain& m, int) {
    m.NewShow();
}

void RunLoadShow(CMain& m, int) {
    m.LoadShowCommand();
}

void RunSaveShow(CMain& m, int) {
    m.SaveShowCommand();
}

void RunExit(CMain& m, int) {
    m.CloseSequence();
}

void RunQuitDiscard(CMain& m, int) {
    if (!m.session.TheShow().hostMode) return;
    // The host keeps its old show: the person said No to these changes.
    m.recovery.Declined();
    PostQuitMessage(1);
}

void RunMakeMovie(CMain& m, int id) {
    kv::Show& show = m.session.TheShow();
    if (show.hostMode) return;
    // A batch loads each show it renders: the show being edited is offered for saving first
    // rather than replaced unsaved.
    if (id == CmdBatchRender) {
        if (!m.AskToSaveFirst("Batch Render Movies")) return;
        m.recovery.ShowReplaced();
    }
    EditorMovieHost host(m);
    m.busy = true;
    MovieSettings kept = MovieSettingsFrom(m.session.Store());
    kept.compressors = &m.compressors;
    MakeMovie(show, host, id == CmdBatchRender, kept);
    StoreMovieSettings(kept, m.session.Store());
    m.busy = false;
    if (id == CmdBatchRender) m.SetShowTitle(show.showFile.Empty() ? nullptr : show.showFile.path);
    m.Redraw();
    m.session.GoToFrame(show.currentFrame, true);
    if (id == CmdBatchRender) {
        // The batch loaded other shows into the editor: the history of the old one is gone.
        m.session.ForgetHistory();
        m.session.Notify(ChangedKeys | ChangedPicture | ChangedEditState);
    }
}

void RunMakeStill(CMain& m, int) {
    kv::Show& show = m.session.TheShow();
    if (show.hostMode) return;
    EditorMovieHost host(m);
    m.busy = true;
    MakeStill(show, host, MovieSettingsFrom(m.session.Store()));
    m.busy = false;
    m.session.GoToFrame(show.currentFrame, true);
}

void RunFrameRate(CMain& m, int id) {
    if (!m.session.TheShow().hostMode) m.SetFrameRate(id);
}

void KeyQuickSave(CMain& m, bool) {
    m.QuickSave();
}

void KeyClose(CMain& m, bool character) {
    // Ctrl+Q's key-down code is the Ctrl key's own: only the character closes.
    if (character) m.CloseSequence();
}

void KeyMakeStill(CMain& m, bool character) {
    if (character) RunMakeStill(m, CmdMakeStill);
}

}  // namespace kv
