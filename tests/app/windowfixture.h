// The main window as the program creates it, shown, for one test each.
#pragma once

#include "app/unitkalvex.h"
#include "framework/inifile.h"
#include "tests/app/input.h"

#include <gtest/gtest.h>

#include <functional>

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Each test starts from the design: no settings from an earlier one.
        DeleteFileA(ApplicationIniFileName().c_str());
        Application.Initialize();
        FormKalvex = new TFormKalvex();
        Form = FormKalvex;
        Application.MainWindow = Form->Handle;
        ShowWindow(Form->Handle, SW_SHOW);
        SetForegroundWindow(Form->Handle);
        Application.ProcessMessages();
    }
    void TearDown() override
    {
        delete FormKalvex;  // as the entry point does after the loop
        FormKalvex = nullptr;
        Application.ProcessMessages();
    }
    // Runs the message loop (with its idle passes) until done() holds; gives
    // up after a minute, so that a fault fails the test instead of hanging it.
    bool PumpUntil(const std::function<bool()> &done)
    {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 60000) {
                ADD_FAILURE() << "gave up waiting";
                return false;
            }
            Application.ProcessMessages();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return true;
    }
    // Real key strokes, then the marker key; runs the loop until this thread
    // has taken the marker's release, so every key before it has been
    // handled and the idle pass after them has run.
    bool Strike(std::initializer_list<WORD> keys)
    {
        const SHORT toggle = MarkerToggle();
        SendKeys(keys, true);
        return PumpUntil([&] { return MarkerTaken(toggle); });
    }
    // Runs it until the search has ended, then once more for the idle pass.
    void PumpUntilDone()
    {
        PumpUntil([&] { return !Form->IsFinding(); });
        Application.ProcessMessages();
    }

    TFormKalvex *Form = nullptr;
};
