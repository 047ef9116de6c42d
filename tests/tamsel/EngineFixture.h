// A fresh temporary folder (natively) and settings folder for each test, the shared files
// removed before and after, and a front end that records what the engine shows.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/FrontEnd.h"
#include "core/ImageReader.h"
#include "core/JobRecords.h"
#include "platform/FileSystem.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/MonitorPass.h"
#include "tamsel/engine/RestoredFiles.h"
#include "tamsel/engine/Settings.h"
#include "tamsel/engine/WatchList.h"
#include "TestFiles.h"

class CRecordingFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override {
        m_messages.push_back({role, args.path});
    }
    OverwriteAnswer AskOverwrite(const std::u16string&) override {
        ++m_questions;
        return m_answer;
    }
    struct Message {
        CoreMessage role;
        std::u16string path;
    };
    std::vector<Message> m_messages;
    int m_questions = 0;
    OverwriteAnswer m_answer = OverwriteAnswer::Yes;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        Save("TMPDIR", m_savedTemp);
        Save("XDG_CONFIG_HOME", m_savedConfig);
        setenv("TMPDIR", m_temp.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
#endif
        CleanShared();
        SetEngineFrontEnd(&m_frontEnd);
    }
    void TearDown() override {
        WaitForPass();
        SetEngineFrontEnd(nullptr);
        CleanShared();
#ifndef _WIN32
        Restore("TMPDIR", m_savedTemp);
        Restore("XDG_CONFIG_HOME", m_savedConfig);
#endif
    }

    static void CleanShared() {
        for (const char16_t* tag : {u"DIDI", u"EIEI", u"TMTE", u"TMTEbackup"}) {
            platform::SetAttributes(TempFilePath(tag), platform::kAttrNormal);
            platform::RemoveFile(TempFilePath(tag));
        }
        std::u16string settings;
        if (GetSettingPath(settings)) platform::RemoveFile(settings);
        g_watchList.clear();
        g_restoredFiles.clear();
        g_monitorItems.clear();
    }

    static void Watch(const std::u16string& folder, const std::u16string& password, uint32_t compress = 1,
                      bool limitRetry = false, uint32_t retryLimit = 3) {
        AddWatchRecord(MakeWatchRecord(MakeMonitorItem(folder, password, compress, limitRetry, limitRetry, retryLimit)));
    }

    // The content the image restores (as Ardex restores it), or "<refused>".
    std::string Restored(const std::u16string& image, const std::u16string& password) {
        testing_support::ScratchDir out;
        DecryptParams params{};
        CopyToField(params.imagePath, kPathChars, image);
        CopyToField(params.password, kPasswordChars, password);
        CopyToField(params.targetDir, kPathChars, out.Win());
        uint32_t files = 0;
        std::u16string first;
        SetCoreFrontEnd(nullptr);
        if (!ReadImageInfo(params, files, first) || files != 1) return "<refused>";
        params.selectOnly = 1;
        params.restoreMode = 1;
        CopyToField(params.selectedPath, kPathChars, first);
        if (!DecryptImage(params)) return "<refused>";
        const std::u16string name = first.substr(first.rfind(u'\\') + 1);
        const auto bytes = testing_support::ReadAll(testing_support::NativePath(out.Win() + u"\\" + name));
        return std::string(bytes.begin(), bytes.end());
    }

    static std::string Text(const std::filesystem::path& path) {
        const auto bytes = testing_support::ReadAll(path);
        return std::string(bytes.begin(), bytes.end());
    }

    testing_support::ScratchDir m_temp;
    testing_support::ScratchDir m_config;
    testing_support::ScratchDir m_dir;
    CRecordingFrontEnd m_frontEnd;

private:
#ifndef _WIN32
    static void Save(const char* name, std::string& saved) {
        const char* value = getenv(name);
        saved = value ? value : "";
    }
    static void Restore(const char* name, const std::string& saved) {
        if (saved.empty()) {
            unsetenv(name);
        } else {
            setenv(name, saved.c_str(), 1);
        }
    }
#endif
    std::string m_savedTemp;
    std::string m_savedConfig;
};
