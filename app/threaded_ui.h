// The user interface for a run whose host works on a thread of its own: the
// thread that made it keeps the windows, and what the host's thread asks of
// them is carried out there, in turn.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/user_interface.h"

namespace traskel {

class ThreadedUi final : public UserInterface {
 public:
  explicit ThreadedUi(UserInterface& ui) : ui_(ui), owner_(std::this_thread::get_id()) {}

  // On the owner's thread: carries out what another thread waits for.
  void Serve();
  // On the owner's thread: the progress another thread showed last, once.
  std::optional<ProgressView> TakeProgress();

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    OnOwner([&] { ui_.ShowMessage(text, title, icon); });
  }
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    Answer answer = Answer::Cancel;
    OnOwner([&] { answer = ui_.AskRetryOrCancel(text, title, icon); });
    return answer;
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    Answer answer = Answer::Cancel;
    OnOwner([&] { answer = ui_.AskYesNoCancel(text, title, icon); });
    return answer;
  }
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    std::optional<std::string> chosen;
    OnOwner([&] { chosen = ui_.ChooseFile(request); });
    return chosen;
  }
  bool QuestionsReachUser() const override { return ui_.QuestionsReachUser(); }
  // The owner's thread keeps the windows alive; another has none to pump.
  void PumpEvents() override {
    if (OnOwnerThread()) ui_.PumpEvents();
  }
  // Another thread's progress is shown by the owner when it next looks.
  void ShowProgress(const ProgressView& view) override;
  void FinishProgress(const std::string& text) override {
    OnOwner([&] { ui_.FinishProgress(text); });
  }
  void CloseProgress() override {
    OnOwner([&] { ui_.CloseProgress(); });
  }
  bool KeepWaitingAsked() override { return ui_.KeepWaitingAsked(); }
  void WaitForEvents(std::chrono::milliseconds most) override { ui_.WaitForEvents(most); }
  void Wake() override { ui_.Wake(); }
  Result<void> ShowText(const std::string& text, Icon icon, ConsoleStream stream) override {
    Result<void> shown;
    OnOwner([&] { shown = ui_.ShowText(text, icon, stream); });
    return shown;
  }
  bool ShowsTextInBox() const override { return ui_.ShowsTextInBox(); }

 private:
  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }
  // Carries out `call` on the owner's thread, there or from another, which
  // waits until it is done.
  void OnOwner(const std::function<void()>& call);

  UserInterface& ui_;
  const std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable done_;
  const std::function<void()>* waiting_ = nullptr;  // a call another thread waits for
  std::optional<ProgressView> progress_;
};

}  // namespace traskel
