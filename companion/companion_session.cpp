#include "companion/companion_session.h"

#include "text/text.h"

namespace vorsk {

bool CompanionSession::Start() {
  const ProgramRun start = host_.StartProgramBeside(std::string(kCompanionProgram),
                                                    "/" + std::string(kTasksSwitch), &session_);
  if (start.start == ProgramRun::Start::Ran) {
    return true;
  }
  session_ = kNoSession;
  cannotStart_ =
      std::string(kCompanionProgram) +
      (start.start == ProgramRun::Start::Missing     ? " is missing"
       : start.start == ProgramRun::Start::Different ? " is not the one built with vorsk.exe"
                                                     : " cannot start") +
      " (error " + ErrorText(start.error) + ")";
  report_.Log(cannotStart_);
  return false;
}

CompanionSession::Answer CompanionSession::Hand(const CompanionTask& task,
                                                std::uint32_t timeoutMs) {
  Answer answer;
  if (!cannotStart_.empty() || (session_ == kNoSession && !Start())) {
    answer.failure = cannotStart_;
    return answer;
  }
  const ProgramAnswer answered =
      host_.HandProgramTask(session_, FormatTask(task) + "\r\n", timeoutMs, AnswersTask);
  answer.output = answered.output;
  answer.finished = answered.answered;
  if (!answered.answered) {
    // Cut short, or out of its time: what it did not report is left, and the next task has a
    // companion of its own.
    answer.failure = Ended(host_.EndProgramSession(session_, 0));
  }
  return answer;
}

void CompanionSession::End() {
  if (session_ != kNoSession) {
    Ended(host_.EndProgramSession(session_, kCompanionEndWaitMs));
  }
}

std::string CompanionSession::Ended(std::uint32_t exitCode) {
  session_ = kNoSession;
  const std::string ended =
      std::string(kCompanionProgram) + " ended with status " + std::to_string(exitCode);
  report_.Log(ended);
  return ended;
}

}  // namespace vorsk
