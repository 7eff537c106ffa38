// Test helpers for the stage, timeline and viewer: a show with a synthetic 800 x 600 picture, a
// plain window standing in for the main window (1024 x 768 at the screen's corner) and the three
// views created against it, on the headless backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/views/stage.h"
#include "editor/ui/views/timeline.h"
#include "editor/ui/views/viewer.h"
#include "tests/editor/ui/ui_test_support.h"

namespace kvtest {

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        StartUi();
        DrainQueue();
        kv::headless::SetMonitors({{kv::Rect{0, 0, 1280, 1024}, kv::Rect{0, 0, 1280, 1024}}});
        kv::Settings& st = kv::TheSettings();
        st.WriteInt("StageScale", 50);
        st.WriteInt("ShowCameraPath", 0);
        st.WriteInt("CenterPic", 0);
        st.WriteInt("TimeScale", 30);
        st.WriteInt("ViewerTop", 80);
        st.WriteInt("ViewerLeft", 764);
        st.WriteInt("ViewerWidth", 220);
        st.WriteInt("DualScreenViewer", 0);
        st.WriteInt("ShowTVSafe", 0);
        show = std::make_unique<kv::Show>();
        // The show-wide settings other tests of this program may have changed.
        show->AutoAddKey = true;
        show->FrameRate = 2997;
        show->AspectMode = 7500;
        show->aspect = 0.75f;
        show->EaseType = 0;
        show->DraftRender = false;
        show->MultiProcess = false;
        show->BlurFrames = 0;
        show->hostMode = false;
        show->length = 300;
        MakePicture();
        kv::Session().Attach(show.get(), &kv::TheSettings());
        ASSERT_TRUE(main.Open(0, 0, 1024, 768));
        if (withViews) CreateViews();
    }
    void TearDown() override {
        viewer.reset();
        timeline.reset();
        stage.reset();
        main.DestroyWin();
        kv::Session().Detach();
        DrainQueue();
    }
    void CreateViews() {
        stage = std::make_unique<kv::CStage>(kv::Session());
        ASSERT_TRUE(stage->Create(main.hwnd));
        timeline = std::make_unique<kv::CTime>(kv::Session());
        ASSERT_TRUE(timeline->Create(main.hwnd));
        viewer = std::make_unique<kv::CView>(kv::Session());
        ASSERT_TRUE(viewer->Create(main.hwnd));
        DrainQueue();
        kv::Session().GoToFrame(0, true);
    }
    // Left half dark red, right half dark blue, a white cross through the middle; one key
    // framing the whole picture.
    void MakePicture() {
        show->image.Create(800, 600, 24);
        for (int y = 0; y < 600; ++y) {
            uint8_t* row = show->image.Row(y);
            for (int x = 0; x < 800; ++x) {
                const bool white = x == 400 || y == 300;
                row[3 * x + 0] = white ? 255 : x < 400 ? 0 : 160;
                row[3 * x + 1] = white ? 255 : 0;
                row[3 * x + 2] = white ? 255 : x < 400 ? 160 : 0;
            }
        }
        kv::FileSpec pictureFile;
        pictureFile.SetPath("/pictures/harbour.jpg");
        show->PictureLoaded(0, pictureFile, true, 800, 600);
        show->pictures[0].keyCount = 1;
        show->dirty = false;
    }
    // Keys at the given frames, each a little further right than the one before.
    void SetKeys(std::initializer_list<int> times) {
        int i = 0;
        for (int t : times) {
            kv::KeyFrame k = show->pictures[0].keys[0];
            k.time = t;
            k.x = 400.0f + 10.0f * static_cast<float>(i);
            show->SetKey(i++, 0, k);
        }
        show->pictures[0].keyCount = i;
        show->undoCount = show->redoCount = 0;
        kv::Session().ForgetHistory();
    }
    // A press, moves in steps and a release in the window's client coordinates, dispatched.
    void Drag(kv::HWND w, int x0, int y0, int x1, int y1, int steps = 4) {
        kv::headless::ClientMove(w, x0, y0);
        kv::headless::ClientDown(w, x0, y0);
        for (int i = 1; i <= steps; ++i)
            kv::headless::ClientMove(w, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
        kv::headless::ClientUp(w, x1, y1);
        DrainQueue();
    }
    std::string Shot(const char* name) const {
#ifdef KV_UI_BUILD_DIR
        return std::string(KV_UI_BUILD_DIR) + "/" + name;
#else
        return std::string(name);
#endif
    }

    bool withViews = true;
    std::unique_ptr<kv::Show> show;
    Pane main;
    std::unique_ptr<kv::CStage> stage;
    std::unique_ptr<kv::CTime> timeline;
    std::unique_ptr<kv::CView> viewer;
};

}  // namespace kvtest
