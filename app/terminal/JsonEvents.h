// SPDX-License-Identifier: Apache-2.0
#pragma once
// The terminal flash as a stream of JSON lines (--cli --json): one object per line, each with
// an "event" key, written whole and flushed at once, so a program reading the stream sees
// every line as it happens and never half of one. The keys are documented in the manual page
// and stay as they are.

#include <cstdio>
#include <map>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "app/terminal/FleetEvents.h"
#include "session/Catalogue.h"
#include "trust/CopyVerdict.h"

class JsonEvents : public FleetEvents {
public:
    // compact: no step or progress events, for a program that wants only how each drive ended.
    JsonEvents(std::FILE* out, bool compact) : Out_(out), Compact_(compact) {}

    void Answered(Question question, const std::string& text, bool yes, const std::string& how) override;
    void Message(const std::string& device, MessageKind kind, const std::string& text) override;
    void Started(const IdentityTexts& utility, const std::string& newRevision, const std::vector<SessionDrive>& drives,
                 bool rehearsal) override;
    void Step(const std::string& device, const RunStatus& status) override;
    void Progress(const std::string& device, int percent) override;
    void Finished(const SessionDrive& drive) override;
    void Summary(const std::vector<SessionDrive>& drives, int exitCode) override;
    // The utility's file, the SHA-256 of all of it and the verdict on its signature, named in
    // the "started" event's utility; call before Started.
    void NameUtility(const std::string& file, const std::string& fileSha256, const CopyVerdict& verdict);
    // A session of a folder of utilities: "run_started" names the folder (its utilities, the
    // files skipped and why) instead of one utility, and every drive's events the utility it
    // gets ("utility", null for none); call before Started.
    void NameFolder(const Catalogue& folder);

private:
    void Write(const nlohmann::ordered_json& event);

    std::mutex Mutex_;
    std::FILE* Out_;
    bool Compact_;
    std::map<std::string, int> LastTenth_;  // per device: the tenth of the last progress event
    std::string File_, FileSha256_;          // the utility's, named in the "started" event
    CopyVerdict Verdict_;
    std::optional<nlohmann::ordered_json> Folder_;  // the folder, named in "run_started"
};
