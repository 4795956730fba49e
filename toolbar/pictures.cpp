// The eleven 16 x 16 pictures of the bar, drawn on the silver mask colour,
// which then becomes transparent.
#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

#include "toolbar/pictures.h"

namespace trivex {

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kDarkGray(0x40, 0x40, 0x40);
const QColor kRed(0xC0, 0x00, 0x00);
const QColor kYellow(0xFF, 0xE0, 0x00);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kBrown(0x80, 0x50, 0x10);

void Triangle(QPainter& p, int tipX, int baseX) {
  QPolygon t;
  t << QPoint(baseX, 3) << QPoint(tipX, 8) << QPoint(baseX, 13);
  p.setPen(kNavy);
  p.setBrush(kNavy);
  p.drawPolygon(t);
}

void Page(QPainter& p) {
  QPolygon page;
  page << QPoint(3, 1) << QPoint(10, 1) << QPoint(13, 4) << QPoint(13, 14) << QPoint(3, 14);
  p.setPen(kDarkGray);
  p.setBrush(kWhite);
  p.drawPolygon(page);
  p.drawLine(10, 1, 10, 4);
  p.drawLine(10, 4, 13, 4);
}

void Draw(QPainter& p, int picture) {
  switch (picture) {
    case 1:  // first: bar and triangle pointing left
      p.fillRect(3, 3, 2, 11, kNavy);
      Triangle(p, 6, 12);
      break;
    case 2:  // previous
      Triangle(p, 4, 11);
      break;
    case 3:  // next
      Triangle(p, 11, 4);
      break;
    case 4:  // last: triangle pointing right and bar
      Triangle(p, 9, 3);
      p.fillRect(11, 3, 2, 11, kNavy);
      break;
    case 5:  // new: blank page with a spark
      Page(p);
      p.setPen(kYellow);
      p.drawLine(1, 3, 7, 3);
      p.drawLine(4, 0, 4, 6);
      p.drawLine(2, 1, 6, 5);
      p.drawLine(6, 1, 2, 5);
      break;
    case 6: {  // alter: page with a pencil
      Page(p);
      p.setPen(QPen(kYellow, 3));
      p.drawLine(14, 4, 7, 11);
      p.setPen(kBrown);
      p.drawLine(7, 11, 5, 13);
      p.drawLine(14, 2, 15, 3);
      break;
    }
    case 7:  // delete: red cross
      p.setPen(QPen(kRed, 3));
      p.drawLine(3, 3, 12, 12);
      p.drawLine(12, 3, 3, 12);
      break;
    case 8:  // cancel: prohibition sign
      p.setPen(QPen(kRed, 2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRect(2, 2, 11, 11));
      p.drawLine(4, 4, 11, 11);
      break;
    case 9:  // find: magnifying glass
      p.setPen(QPen(kDarkGray, 2));
      p.setBrush(kWhite);
      p.drawEllipse(QRect(2, 2, 8, 8));
      p.setPen(QPen(kBrown, 3));
      p.drawLine(10, 10, 14, 14);
      break;
    case 10:  // save: floppy disk
      p.fillRect(2, 2, 12, 12, kNavy);
      p.fillRect(4, 2, 8, 5, kWhite);
      p.fillRect(5, 10, 6, 4, kDarkGray);
      p.fillRect(9, 11, 1, 2, kWhite);
      break;
    case 11:  // exit: open door and an arrow out of it
      p.fillRect(2, 1, 7, 14, kBrown);
      p.fillRect(3, 2, 5, 12, kYellow);
      p.fillRect(6, 8, 1, 1, kDarkGray);
      p.setPen(QPen(kRed, 2));
      p.drawLine(8, 8, 13, 8);
      p.setPen(kRed);
      p.setBrush(kRed);
      p.drawPolygon(QPolygon({QPoint(15, 8), QPoint(12, 5), QPoint(12, 11)}));
      break;
  }
}

}  // namespace

const QColor kMaskColor(0xC0, 0xC0, 0xC0);

QList<QPixmap> DrawImageList() {
  QList<QPixmap> list;
  for (int picture = 1; picture <= kPictureCount; ++picture) {
    QPixmap pm(16, 16);
    pm.fill(kMaskColor);
    {
      QPainter p(&pm);
      Draw(p, picture);
    }
    pm.setMask(pm.createMaskFromColor(kMaskColor, Qt::MaskInColor));
    list << pm;
  }
  return list;
}

}  // namespace trivex
