// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a build came to, as a value: the builder's steps hand a failure back instead of showing
// it, and the front end shows the message (in a plain OK box) and says the rest as it does.

#include <optional>
#include <string>
#include <vector>

// What happened, for front ends that say more than the message box did.
struct BuildReport {
    std::string OutputPath;  // the output file, once its name is known
    std::string Detail;      // a failure: the file it concerns and the system's reason ("<path>: <reason>"),
                             // or else the message that names it
    std::vector<std::string> Warnings;  // what is built as asked but will not work as meant (a FW-Range no revision falls in)
};

// A step's failure: the message for the box and the detail of BuildReport ("" when the
// message names its file).
struct BuildFailure {
    std::string Message;
    std::string Detail;
};
// A step's outcome: none when it went well.
using BuildProblem = std::optional<BuildFailure>;

// A failure told by its message; with a system error, its detail is "<subject>: <reason>"
// (only the reason when there is no subject).
BuildFailure Failed(const std::string& message, int error = 0, const std::string& subject = "");

struct BuildResult {
    bool Built = false;
    std::string Message;  // when not built: what the person is shown
    BuildReport Report;
};
