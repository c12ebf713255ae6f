// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a front end does for a flash session: it answers the questions, presents what the
// session tells it and gives the platform and the thread a run goes on. The session decides
// everything else (see FlashSession). Only the person's seam and the platform have to be
// given; the rest defaults to a front end that shows nothing more.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flash/StartUp.h"
#include "trust/CopyVerdict.h"
#include "areas/IdentityBlock.h"
#include "platform/Platform.h"
#include "platform/StopRequests.h"
#include "session/DriveEnding.h"
#include "ui/RunObserver.h"
#include "ui/UserInterface.h"

// The messages and observer of one drive's run when several drives run at once, each on a
// thread of its own: nothing is asked of the person there.
class DriveRunPresenter : public Answers, public RunObserver {};


class SessionFrontEnd {
public:
    virtual ~SessionFrontEnd() = default;

    // Messages and questions for the person: boxes in the window, lines and prompts in the
    // terminal. The copy's checks, the warning, the detection, the revision question and the
    // restart question go here, and the run of a single drive shows its messages here.
    virtual UserInterface& Person() = 0;
    // The platform the drives are reached through, chosen once the copy's checks passed. Null
    // when it can't be: the front end has said why, and exitCode says how the session ends.
    virtual Platform* ChoosePlatform(const IdentityBlock& utility, int& exitCode) = 0;
    // The copy's checks passed with this verdict on its signature.
    virtual void Judged(const CopyVerdict&) {}
    // Stop requests of the person; none by default.
    virtual StopRequests& Stops() { return NoStops_; }

    // A line for the error stream: the copy's refusal, a drive busy or denied, drives left out
    // of a full list, a claim refused or the platform's notice. (Why nothing was flashed, the
    // front end says from the session's result.)
    virtual void Note(const std::string& line) = 0;
    // The start-up's texts are formed, before the warning (the window's prompt label).
    virtual void Introduce(const FlashStartUp&) {}
    // The warning was accepted: the flow now runs under startUp.CaptionText().
    virtual void WarningAccepted(const FlashStartUp&) {}
    // A question was declined (or could not be asked): the session ends there.
    virtual void Declined() {}
    // A question went unanswered because nobody could answer it (no terminal to ask).
    virtual bool NobodyToAsk() const { return false; }
    // The drives are found and planned: every drive the system named, in order.
    virtual void Planned(const FlashStartUp&, const std::vector<SessionDrive>&, const std::string& /*newRevision*/) {}

    // A single drive's run has ended and its claim is given back.
    virtual void RunEnded(const FlashReport&) {}
    // Runs job, the part of a single drive's flash that talks to the drive, and returns once
    // it has ended: at once on this thread, or (the window) on a thread of its own while the
    // window stays alive.
    virtual void RunDriveJob(const std::function<void()>& job) { job(); }

private:
    NoStopRequests NoStops_;
};

// A front end that flashes several drives at once (the terminal's --all, and its JSON stream).
class FleetFrontEnd : public SessionFrontEnd {
public:
    // The one confirmation: the drives to flash with their revision change, and those left
    // alone. True to go on.
    virtual bool ConfirmPlan(const std::vector<SessionDrive>& drives, const std::string& newRevision) = 0;
    // The messages and observer of drive's run, used on the run's thread only.
    virtual std::unique_ptr<DriveRunPresenter> PresentRun(const SessionDrive& drive) = 0;
    // A drive's run ended, or the drive was left without one (from the run's thread).
    virtual void Finished(const SessionDrive& drive) = 0;
};
