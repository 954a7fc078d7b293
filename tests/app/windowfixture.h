// The main window as the program creates it, shown, for one test each.
#pragma once

#include "app/unitkalvex.h"
#include "framework/inifile.h"

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
    // Runs it until the search has ended, then once more for the idle pass.
    void PumpUntilDone()
    {
        PumpUntil([&] { return !Form->IsFinding(); });
        Application.ProcessMessages();
    }

    TFormKalvex *Form = nullptr;
};
