// SPDX-License-Identifier: Apache-2.0
#include "session/CatalogueChoice.h"

#include <algorithm>
#include <cstring>

#include "flash/FlashVerdict.h"

namespace {

std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// The same bytes sent to the drive.
bool SameImage(const UtilityCopy& a, const UtilityCopy& b) {
    const IdentityBlock x = a.View(), y = b.View();
    const uint32_t sent = x.SentImageLength();
    return sent == y.SentImageLength() && x.ImageLength() == y.ImageLength() &&
           std::memcmp(x.Image(), y.Image(), sent) == 0;
}

}  // namespace

std::string DriveWords(const CatalogueDrive& drive) {
    const std::string vendor = Trimmed(drive.Product.substr(0, 8));
    const std::string product = Trimmed(drive.Product.substr(std::min<std::size_t>(8, drive.Product.size())));
    std::string words = vendor;
    for (const std::string& part : {product, Trimmed(drive.Revision)})
        if (!part.empty())
            words += (words.empty() ? "" : " ") + part;
    return words;
}

CatalogueChoice ChooseUtility(const Catalogue& catalogue, const CatalogueDrive& drive) {
    CatalogueChoice choice;
    int newest = -1;         // the qualifying utility of the highest new revision, fitting or not
    bool qualified = false;  // some utility qualifies the drive
    const auto& utilities = catalogue.Utilities;
    for (int i = 0; i < int(utilities.size()); ++i) {
        const CatalogueUtility& utility = utilities[std::size_t(i)];
        if (!JudgeDrive(utility.Texts, drive.PeripheralType, drive.Product, drive.Revision).Qualifies)
            continue;
        qualified = true;
        if (newest < 0 || CompareBytes(utility.NewRevision, utilities[std::size_t(newest)].NewRevision) > 0)
            newest = i;
        if (JudgeForFlash(utility.Texts, utility.NewRevision, {drive.Revision, {}}).Result != FlashVerdict::Kind::Flash)
            continue;
        if (choice.Utility < 0) {
            choice.Utility = i;
            continue;
        }
        const CatalogueUtility& best = utilities[std::size_t(choice.Utility)];
        const int order = CompareBytes(utility.NewRevision, best.NewRevision);
        if (order > 0) {
            choice.Utility = i;
            choice.Other = -1;
        } else if (order == 0 && choice.Other < 0 && !SameImage(utility.Copy, best.Copy)) {
            choice.Other = i;
        }
    }
    if (!qualified) {
        choice.Why = "no utility in " + catalogue.Folder + " for " + DriveWords(drive);
        return choice;
    }
    if (choice.Utility < 0) {
        const CatalogueUtility& top = utilities[std::size_t(newest)];
        choice.Result = CatalogueChoice::Kind::UpToDate;
        choice.Why = "up to date: already at FW:" + drive.Revision + ", not below FW:" + top.NewRevision + " of " +
                     top.Name;
        return choice;
    }
    if (choice.Other >= 0) {
        const CatalogueUtility& first = utilities[std::size_t(choice.Utility)];
        choice.Result = CatalogueChoice::Kind::Ambiguous;
        choice.Why = "ambiguous: " + first.Name + " and " + utilities[std::size_t(choice.Other)].Name +
                     " both install FW:" + first.NewRevision + " with different images; nothing is sent to it";
        return choice;
    }
    choice.Result = CatalogueChoice::Kind::Fits;
    return choice;
}
