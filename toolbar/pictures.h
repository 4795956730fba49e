#pragma once
// ImageList1: the bar's pictures in their list order (first, previous, next,
// last, new, alter, delete, cancel, find, save, exit), 16 x 16, silver masked.
#include <QColor>
#include <QList>
#include <QPixmap>

namespace trivex {

inline constexpr int kPictureCount = 11;
extern const QColor kMaskColor;
QList<QPixmap> DrawImageList();

}  // namespace trivex
