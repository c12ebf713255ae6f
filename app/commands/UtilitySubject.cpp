// SPDX-License-Identifier: Apache-2.0
#include "app/commands/UtilitySubject.h"

#include "image/AreaLocator.h"
#include "image/Builder.h"
#include "image/Seal.h"
#include "image/VersionArea.h"

bool LoadUtilitySubject(const std::string& file, UtilitySubject& subject, std::string& why) {
    if (file.empty()) {
        subject.File = RunningExecutablePath();
        subject.Block = IdentityBlock::Embedded().Raw();
        subject.Seal = EmbeddedSealBytes();
        subject.Version = EmbeddedVersionBytes();
        subject.PlaceDamage = OwnAreasMismatch();
        return true;
    }
    subject.Own = false;
    subject.File = file;
    if (!ReadUtilityFile(file, subject.Contents, why))
        return false;
    subject.Block = subject.Contents.Block.data();
    subject.Seal = subject.Contents.Seal.empty() ? nullptr : subject.Contents.Seal.data();
    subject.Version = subject.Contents.Version.empty() ? nullptr : subject.Contents.Version.data();
    subject.PlaceDamage = subject.Contents.PlaceDamage;
    return true;
}
