// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/FleetEvents.h"

std::string QuestionKey(Question question) {
    switch (question) {
    case Question::StartUpWarning: return "start_up_warning";
    case Question::UpdateConfirmation: return "update_confirmation";
    case Question::Restart: return "restart";
    case Question::None: break;
    }
    return "message";
}
