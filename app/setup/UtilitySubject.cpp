// SPDX-License-Identifier: Apache-2.0
#include "app/setup/UtilitySubject.h"

#include <fcntl.h>

#include <cstdlib>

#include "image/AreaLocator.h"
#include "base/Descriptor.h"
#include "image/SignatureArea.h"
#include "image/Builder.h"
#include "image/Seal.h"
#include "image/VersionArea.h"

bool LoadUtilitySubject(const std::string& file, UtilitySubject& subject, std::string& why, WholeFileHash hash) {
    if (file.empty()) {
        subject.File = RunningExecutablePath();
        subject.FullPath = subject.File;
        subject.Block = IdentityBlock::Embedded().Raw();
        subject.Seal = EmbeddedSealBytes();
        subject.Version = EmbeddedVersionBytes();
        subject.Signature = EmbeddedSignatureBytes();
        subject.PlaceDamage = OwnAreasMismatch();
        if (hash == WholeFileHash::Leave)
            return true;
        Descriptor self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
        if (!self.Valid() || !FileSha256(self.Get(), subject.Sha256)) {
            subject.Sha256.clear();
            // Its own file as another copy's: what it is named as is not hashed for minutes.
            if (self.Valid() && errno == EFBIG) {
                why = (subject.File.empty() ? std::string("this program's file") : subject.File) + ": " +
                      FileSha256LimitCause();
                return false;
            }
        }
        return true;
    }
    subject.Own = false;
    subject.File = file;
    if (!ReadUtilityFile(file, subject.Contents, why, hash))
        return false;
    subject.Block = subject.Contents.Block.data();
    subject.Seal = subject.Contents.Seal.empty() ? nullptr : subject.Contents.Seal.data();
    subject.Version = subject.Contents.Version.empty() ? nullptr : subject.Contents.Version.data();
    subject.Signature = subject.Contents.Signature.empty() ? nullptr : subject.Contents.Signature.data();
    subject.PlaceDamage = subject.Contents.PlaceDamage;
    subject.Sha256 = subject.Contents.Sha256;
    char* full = ::realpath(file.c_str(), nullptr);
    subject.FullPath = full ? full : file;
    std::free(full);
    return true;
}

SessionSettings SubjectSessionSettings(const UtilitySubject& subject, HistoryLog* history, bool noCommit) {
    SessionSettings settings;
    settings.Areas = subject.Areas();
    settings.File = subject.File;
    settings.History = history;
    settings.NoCommit = noCommit;
    settings.FullPath = subject.FullPath;
    settings.Sha256 = subject.Sha256;
    return settings;
}
