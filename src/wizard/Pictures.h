#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>

namespace qrt {

// The wizard's pictures, drawn in code so that they scale cleanly and carry no outside artwork.
// Colours follow the wizard's palette (WizardStyle.h).

// Intro page: a flash drive and a memory card under a warning sign about physical damage.
QPixmap IntroPicture(QSize aSize);
// Drive page: a memory card and a flash drive under a magnifying glass.
QPixmap DrivePicture(QSize aSize);
// Finish page: an open folder holding recovered pictures and documents with a check mark when
// files came back (aSuccess), else an empty folder with a lifebuoy: help is at hand.
QPixmap FinishPicture(QSize aSize, bool aSuccess = true);
// Folder page: a folder on a hard drive receiving files, shown by an arrow.
QPixmap SaveFolderPicture(QSize aSize);
// The glyph of the drive list's refresh button: a circular arrow.
QIcon RefreshGlyph();

// The frames of the progress animation: files leave a memory card along an arc and land in a
// folder while a scan line sweeps the card. FrameCount frames of FrameSize each.
struct WorkingAnimation {
    static constexpr int FrameCount = 15;
    static constexpr QSize FrameSize{575, 100};
    static QList<QPixmap> Frames();
};

} // namespace qrt
