#pragma once
// The ports a benchmark drives a scan job's writer through: the save dialog answers with the bench's
// target, every other effect does nothing, and a message box is printed as unexpected.

#include "runtime/effects.h"
#include "runtime/requesters.h"
#include "scan/scan_job.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

class BenchFiles final : public FileRequester
{
public:
    std::string target;

    std::vector<std::string> openFiles(const FileRequest&) override { return {}; }

    std::string saveFile(const FileRequest&) override { return target; }

    std::string chooseFolder(const std::string&, const std::string&) override { return {}; }
};

class SilentSound final : public SoundSink
{
public:
    void beep(int, int) override {}

    void playSound(const std::string&) override {}

    void systemSound(int) override {}
};

class BenchPorts : public ScanJobWindow, public ScanJobDialogs
{
public:
    std::string selectorText(ScanSelector) override { return "PDF"; }

    bool checkBoxTicked(ScanCheckBox) override { return false; }

    bool checkBoxEnabled(ScanCheckBox) override { return true; }

    std::string statusText() override { return {}; }

    void setStatusNow(const std::string&) override {}

    void setScannerLine(const std::string&) override {}

    void enableButton(MainButton, bool) override {}

    void focusAfterJob() override {}

    void drainWindowEvents() override {}

    Handle createJobFont() override { return NoHandle; }

    void freeJobFont(Handle) override {}

    bool keyHeld(int) override { return false; }

    void delay(int) override {}

    void enableMenuItem(int, bool) override {}

    void setDestinationType(const std::string&) override {}

    void setDiscardBlank(bool) override {}

    std::intptr_t actionBox(ActionBoxParams& params) override
    {
        std::cerr << "unexpected message box: " << params.Title << ": " << params.Text << "\n";
        return 1;
    }

    void openWaitWindow(const std::string&) override {}

    void closeWaitWindow() override {}

    std::optional<DestinationChoice>
    changeDestination(const std::vector<std::string>&, const DestinationChoice&, Handle) override
    {
        return std::nullopt;
    }
};

} // namespace folvex
