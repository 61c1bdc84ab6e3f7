// SPDX-License-Identifier: GPL-3.0-or-later
#include "undorecord.h"

void ReplacementRecorder::Piece(QByteArrayView piece) {
    const qint64 offset = OffsetWithin(old_, piece);
    const bool carriedOver = offset >= 0 && offset >= oldAt_;
    if (carriedOver) {
        if (inRegion_ || offset > oldAt_) {
            // An occurrence replaced by nothing leaves a region of no length.
            if (!inRegion_) {
                regionAt_ = newAt_;
            }
            AlteredFile::Region region{regionAt_, newAt_ - regionAt_,
                                       old_.sliced(oldAt_, offset - oldAt_).toByteArray()};
            // Most occurrences replaced the same bytes: they share one copy.
            if (!regions_.empty() && regions_.back().original == region.original) {
                region.original = regions_.back().original;
            }
            regions_.push_back(std::move(region));
            inRegion_ = false;
        }
        oldAt_ = offset + piece.size();
    } else {
        if (!inRegion_) {
            inRegion_ = true;
            regionAt_ = newAt_;
        }
        replacements_.Add(piece);
    }
    newAt_ += piece.size();
}

void ReplacementRecorder::Finish(AlteredFile& file) {
    if (inRegion_ || oldAt_ < old_.size()) {
        if (!inRegion_) {
            regionAt_ = newAt_;
        }
        regions_.push_back({regionAt_, newAt_ - regionAt_, old_.sliced(oldAt_).toByteArray()});
        inRegion_ = false;
        oldAt_ = old_.size();
    }
    file.regions = std::move(regions_);
    file.newSize = newAt_;
    file.replacementsHash = replacements_.Hash();
}
