// The real extractor window as the program creates it, in a scratch folder that is the
// current directory: a program image with a payload around a real cabinet stands in for
// the test program's own file, boxes are recorded and a program end fails the test.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "CabWriter.h"
#include "K4Application.h"
#include "K4EXTRACTMain.h"
#include "K4Payload.h"
#include "K4PayloadSeams.h"
#include "K4UiSeams.h"
#include "PayloadBytes.h"
#include "TestFiles.h"

class ExtractWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string cabinet = cabw::Build(cabw::OneFile("listed.txt", "content"));
        SetPayloadFileForTests(scratch_.Write("SETUP.EXE", "MZ" + std::string(200, '\0') +
                                              k4test::Payload("C:\\Target", "Layout caption", "Layout title", cabinet)));
        ui::SetBoxRecorderForTests([this](ui::BoxKind kind, const std::string& text) { boxes_.push_back({kind, text}); });
        ui::SetEndHookForTests([](unsigned) { FAIL() << "the program would end"; });
    }
    void TearDown() override {
        form_.reset();
        ui::SetEndHookForTests(nullptr);
        ui::SetBoxRecorderForTests(nullptr);
        SetPayloadFileForTests("");
    }

    // Creates and shows the window (its FormCreate runs inside), without painting it.
    void Open() {
        form_ = std::make_unique<TK4ExtractForm>();
        K4ExtractForm = form_.get();
        form_->Create();
        form_->Show();
    }
    // The first paint, which refreshes the window.
    void Paint() { UpdateWindow(form_->Handle()); }

    struct Box {
        ui::BoxKind kind;
        std::string text;
    };
    k4test::ScratchFolder scratch_;
    k4test::CurrentDirectory inScratch_{scratch_.Path()};
    std::unique_ptr<TK4ExtractForm> form_;
    std::vector<Box> boxes_;
};
