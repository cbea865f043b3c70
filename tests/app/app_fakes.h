#pragma once
// Fakes for the control window's dependencies, recording what the window asks for.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/control_window.h"
#include "app/dialog_provider.h"
#include "app/session_runner.h"
#include "app/settings_store.h"
#include "playback/media_control.h"

namespace lyrvox::testing {

class FakeMedia : public MediaControl {
  public:
    void Command(const std::string& command) override {
        commands.push_back(command);
        if (onCommand) onCommand(command);
    }
    void DeviceType(const std::string&) override {}
    void TimeFormat(int) override {}
    void FileName(const std::string&) override {}
    void Wait(bool) override {}
    int Mode() override { return kModeStopped; }
    int32_t Position() override { return 0; }
    bool Failed() override { return false; }

    std::vector<std::string> commands;
    std::function<void(const std::string&)> onCommand;
};

class FakeDialogs : public DialogProvider {
  public:
    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showMessage(const QString& text) override { messages << text; }
    bool openDocument(const QString& path) override {
        opened << path;
        return openSucceeds;
    }

    std::vector<OpenFileRequest> requests;
    std::deque<std::optional<OpenFileChoice>> answers;  // nullopt: the user cancels
    QStringList messages;
    QStringList opened;
    bool openSucceeds = true;
};

class FakeSettings : public SettingsStore {
  public:
    std::optional<QString> readPath() override { return path; }
    bool writePath(const QString& folder) override {
        if (!writable) return false;
        path = folder;
        return true;
    }
    std::optional<QString> path;
    bool writable = true;
};

// Behaves as the real session does towards its host for `passes` passes, calling
// `onPass` in each; ends early when ProFlag is cleared, always through btnStop_Click.
struct ScriptedSessions {
    std::function<void(int pass)> onPass;
    int passes = 3;
    std::vector<std::string> played;
    int running = 0;  // sessions inside DoCDGFile now

    SessionFactory factory() {
        return [this](PlayerState& state, MediaControl&, SessionHost& host) {
            return std::make_unique<Runner>(*this, state, host);
        };
    }

    class Runner : public SessionRunner {
      public:
        Runner(ScriptedSessions& owner, PlayerState& state, SessionHost& host)
            : owner_(owner), state_(state), host_(host) {}
        void DoCDGFile(const std::string& fileSpec) override {
            owner_.played.push_back(fileSpec);
            ++owner_.running;
            host_.SetStatus("Playing: " + fileSpec + ".");
            host_.SetOpenEnabled(false);
            host_.EnableStopNow();
            host_.ShowDisplay(true);
            host_.Yield(0);
            state_.ProFlag = true;
            for (int pass = 0; pass < owner_.passes && state_.ProFlag; ++pass) {
                if (owner_.onPass) owner_.onPass(pass);
                host_.Yield(0);
            }
            --owner_.running;
            state_.ProFlag = false;
            host_.btnStop_Click();
        }

      private:
        ScriptedSessions& owner_;
        PlayerState& state_;
        SessionHost& host_;
    };
};

struct WindowRig {
    FakeMedia media;
    FakeDialogs dialogs;
    FakeSettings settings;
    ScriptedSessions sessions;
    int endProgramCalls = 0;
    std::unique_ptr<ControlWindow> window;

    explicit WindowRig(const QString& programFolder, SessionFactory factory = {}) {
        window = std::make_unique<ControlWindow>(ControlWindowDeps{
            media, dialogs, settings, factory ? std::move(factory) : sessions.factory(),
            programFolder, [this] { ++endProgramCalls; }});
    }
    template <typename T>
    T* find(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace lyrvox::testing
