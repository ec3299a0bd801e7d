// Paints the pictures of WFGUIDLL from simple shapes in one palette:
//   wf-paint-pictures <directory>
// writes <id>.png for the printer, its option pieces, the combined lower-body
// pieces, the hard-error pictures and the operator panel, and
// features_imagelist.png. The files are checked in; run this after changing it.
//   wf-paint-pictures --keystone <directory>
// writes KYGUIDLL's: the Keystone printer (3600), with its optional third
// tray (4600), and its hard errors on each (the alert's id, and 1000 more).
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The palette.
const QColor kBack(255, 255, 255);
const QColor kLine(40, 48, 60);
const QColor kBody(214, 218, 224);
const QColor kShade(170, 176, 186);
const QColor kPaper(250, 250, 246);
const QColor kOption(92, 140, 200);
const QColor kLegal(236, 170, 40);
const QColor kAlarm(214, 48, 40);
const QColor kLamp(0, 200, 0);
const QColor kPanel(60, 66, 78);
const QColor kMask(192, 192, 192);  // the image list's transparent colour

// The printer picture and the pieces copied onto its corners.
constexpr int kWidth = 160;
constexpr int kHeight = 150;
constexpr int kPieceWidth = 80;
constexpr int kPieceHeight = 44;
constexpr int kBodyTop = kPieceHeight;
constexpr int kLowerTop = kHeight - kPieceHeight;

QImage canvas(int w, int h, const QColor& fill) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

void box(QPainter& p, int x, int y, int w, int h, const QColor& fill) {
  p.setPen(kLine);
  p.setBrush(fill);
  p.drawRect(x, y, w - 1, h - 1);
}

// --- The lower body: up to three drawers ---

enum class Drawer { None, Plain, Big, Option };

struct Lower {
  Drawer rows[3] = {Drawer::Plain, Drawer::None, Drawer::None};
  bool legal[3] = {};
  bool duplex = false;
};

QImage lowerBody(const Lower& lower) {
  QImage image = canvas(kWidth, kPieceHeight, kBack);
  QPainter p(&image);
  box(p, 8, 0, kWidth - 16, kPieceHeight - 2, kBody);
  for (int row = 0; row < 3; ++row) {
    if (lower.rows[row] == Drawer::None) continue;
    const int y = 3 + row * 13;
    box(p, 12, y, kWidth - 24, 11, lower.rows[row] == Drawer::Option ? kOption : kShade);
    if (lower.rows[row] == Drawer::Big) {
      p.fillRect(14, y + 7, kWidth - 28, 2, kOption);
    }
    box(p, kWidth / 2 - 10, y + 3, 20, 4, kBody);  // handle
    if (lower.legal[row]) box(p, 2, y + 2, 11, 7, kLegal);
  }
  if (lower.duplex) {
    box(p, 16, kPieceHeight - 6, 44, 4, kOption);
    p.fillRect(18, kPieceHeight - 5, 4, 2, kLegal);
  }
  return image;
}

// --- The band above the body: output slot and top-mounted options ---

enum class Feeder { None, Envelope, Dual };

struct Top {
  bool smallTray = false;  // the 200-sheet second tray, top left
  Feeder feeder = Feeder::None;
};

void slantedFeeder(QPainter& p, int x, int y) {
  p.setPen(kLine);
  p.setBrush(kOption);
  p.drawPolygon(QPolygon({QPoint(x, y + 20), QPoint(x + 50, y + 20), QPoint(x + 56, y), QPoint(x + 12, y)}));
  box(p, x + 16, y + 4, 32, 10, kPaper);
}

QImage topBand(const Top& top) {
  QImage image = canvas(kWidth, kPieceHeight, kBack);
  QPainter p(&image);
  box(p, 40, 34, 80, 10, kShade);  // output slot
  p.fillRect(46, 36, 68, 3, kPaper);
  if (top.smallTray) {
    box(p, 10, 20, 62, 24, kOption);
    box(p, 16, 14, 50, 8, kPaper);
  }
  if (top.feeder == Feeder::Envelope) {
    slantedFeeder(p, 92, 14);
    p.setPen(kLine);
    p.drawLine(110, 18, 124, 24);
    p.drawLine(124, 24, 138, 18);
  } else if (top.feeder == Feeder::Dual) {
    slantedFeeder(p, 96, 2);
    slantedFeeder(p, 92, 22);
  }
  return image;
}

QImage left(const QImage& band) {
  return band.copy(0, 0, kPieceWidth, kPieceHeight);
}
QImage right(const QImage& band) {
  return band.copy(kWidth - kPieceWidth, 0, kPieceWidth, kPieceHeight);
}

// --- The printer ---

QImage printer(const Lower& lower = {}) {
  QImage image = canvas(kWidth, kHeight, kBack);
  QPainter p(&image);
  p.drawImage(0, 0, topBand({}));
  box(p, 8, kBodyTop, kWidth - 16, kLowerTop - kBodyTop, kBody);
  box(p, 96, kBodyTop + 8, 46, 18, kPanel);      // operator panel
  p.fillRect(99, kBodyTop + 11, 28, 12, kLamp);  // its display
  p.fillRect(131, kBodyTop + 12, 6, 4, kLegal);
  box(p, 16, kBodyTop + 34, kWidth - 32, 6, kShade);  // front door seam
  p.drawImage(0, kLowerTop, lowerBody(lower));
  return image;
}

// A red warning mark with `draw` adding the error's own sign.
QImage hardError(const std::function<void(QPainter&)>& draw, const Lower& lower = {}) {
  QImage image = printer(lower);
  QPainter p(&image);
  draw(p);
  return image;
}

void warningTriangle(QPainter& p, int x, int y) {
  p.setPen(kLine);
  p.setBrush(kLegal);
  p.drawPolygon(QPolygon({QPoint(x, y + 20), QPoint(x + 22, y + 20), QPoint(x + 11, y)}));
  p.fillRect(x + 10, y + 7, 3, 8, kLine);
  p.fillRect(x + 10, y + 16, 3, 2, kLine);
}

void crumpledSheet(QPainter& p, int x, int y) {
  p.setPen(QPen(kAlarm, 2));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygon({QPoint(x, y + 8), QPoint(x + 6, y), QPoint(x + 12, y + 10), QPoint(x + 18, y + 1),
                           QPoint(x + 24, y + 9), QPoint(x + 30, y + 2)}));
}

std::map<int, QImage> hardErrors(const Lower& lower = {}) {
  std::map<int, QImage> out;
  auto hardError = [&](const std::function<void(QPainter&)>& draw) { return ::hardError(draw, lower); };
  out[3504] = hardError([](QPainter& p) { warningTriangle(p, 40, kBodyTop + 8); });
  out[3505] = hardError([](QPainter& p) {  // not ready: dark display, barred circle
    p.fillRect(99, kBodyTop + 11, 28, 12, kLine);
    p.setPen(QPen(kAlarm, 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(40, kBodyTop + 6, 24, 24);
    p.drawLine(44, kBodyTop + 26, 60, kBodyTop + 10);
  });
  out[3506] = hardError([](QPainter& p) {  // front door open
    p.setPen(kLine);
    p.setBrush(kShade);
    p.drawPolygon(QPolygon({QPoint(16, kBodyTop + 40), QPoint(144, kBodyTop + 40), QPoint(152, kBodyTop + 56),
                            QPoint(8, kBodyTop + 56)}));
    p.fillRect(20, kBodyTop + 34, 120, 6, kAlarm);
  });
  out[3509] = hardError([](QPainter& p) {  // tray empty: drawer out, nothing in it
    box(p, 4, kLowerTop + 3, kWidth - 24, 11, kBack);
    p.fillRect(8, kLowerTop + 6, kWidth - 32, 5, kAlarm);
  });
  out[3510] = hardError([](QPainter& p) { crumpledSheet(p, 60, kBodyTop + 14); });
  out[3511] = hardError([](QPainter& p) {  // duplex unit
    box(p, 16, kHeight - 6, 44, 4, kOption);
    crumpledSheet(p, 20, kHeight - 18);
  });
  out[3512] = hardError([](QPainter& p) { crumpledSheet(p, 24, kLowerTop + 2); });
  out[3513] = hardError([](QPainter& p) { crumpledSheet(p, 64, 26); });
  out[3514] = hardError([](QPainter& p) {  // toner low: cartridge with a short fill
    box(p, 30, kBodyTop + 10, 50, 14, kBack);
    p.fillRect(32, kBodyTop + 12, 8, 10, kAlarm);
  });
  out[3515] = hardError([](QPainter& p) {  // output bin full
    for (int i = 0; i < 6; ++i) box(p, 48, 30 - i * 4, 64, 4, kPaper);
    warningTriangle(p, 118, 12);
  });
  return out;
}

// --- Combined lower-body pieces ---

// What one combined id shows: the first option set, from the smallest,
// whose additions reach it from one of the three starting numbers.
struct Combination {
  bool bigFirstTray, firstLegal, duplex, secondTray, secondLegal, thirdTray, thirdLegal, smallSecondTray;
};

std::map<int, Combination> combinations() {
  std::map<int, Combination> out;
  struct Start {
    int number;
    bool bigFirstTray, smallSecondTray;
  };
  for (const Start start : {Start{3611, true, false}, Start{3622, false, false}, Start{3700, false, true}}) {
    for (int bits = 0; bits < 64; ++bits) {
      const bool firstLegal = bits & 1, duplex = bits & 2, second = bits & 4, secondLegal = bits & 8;
      const bool third = bits & 16, thirdLegal = bits & 32;
      if ((secondLegal && !second) || (thirdLegal && !third) || (start.smallSecondTray && !second)) continue;
      int id = start.number + (firstLegal ? 6 : 0) + (duplex ? 1 : 0);
      if (second && !start.smallSecondTray) id += 2;
      if (secondLegal) id += 2;
      if (third) id += thirdLegal ? 30 : 20;
      const int base = start.number == 3700 ? 3700 : 3622;
      if (id == base || out.count(id)) continue;
      out[id] = {start.bigFirstTray, firstLegal, duplex,     second && !start.smallSecondTray,
                 secondLegal,        third,      thirdLegal, start.smallSecondTray};
    }
  }
  return out;
}

QImage combined(const Combination& c) {
  Lower lower;
  lower.rows[0] = c.bigFirstTray ? Drawer::Big : Drawer::Plain;
  lower.legal[0] = c.firstLegal;
  int row = 1;
  if (c.secondTray) {
    lower.rows[row] = Drawer::Option;
    lower.legal[row++] = c.secondLegal;
  }
  if (c.thirdTray) {
    lower.rows[row] = Drawer::Option;
    lower.legal[row] = c.thirdLegal;
  }
  lower.duplex = c.duplex;
  return left(lowerBody(lower));
}

// --- Operator panel ---

QImage operatorPanel() {
  QImage image = canvas(380, 205, kPanel);
  QPainter p(&image);
  box(p, 0, 0, 380, 205, kPanel);
  box(p, 42, 16, 254, 120, kLine);  // the display window; the page fills (46,20)-(291,132)
  p.fillRect(46, 20, 245, 112, kLamp);
  p.fillRect(44, 145, 330, 23, kLine);  // the label strip; texts go in (46,147)-(371,166)
  for (int y : {28, 56, 84, 112}) box(p, 314, y - 2, 54, 26, kShade);  // button sockets
  box(p, 41, 171, 64, 30, kShade);
  box(p, 321, 171, 54, 30, kShade);
  return image;
}

// The format template of the mini panel.
QImage panelTemplate() {
  QImage image = canvas(16, 16, kPanel);
  QPainter p(&image);
  p.fillRect(2, 3, 12, 8, kLamp);
  return image;
}

// --- The feature tree's images, 16 x 16 each, in index order ---

QImage featureStrip() {
  QImage image = canvas(160, 16, kMask);
  QPainter p(&image);
  const std::vector<std::function<void(QPainter&)>> icons = {
      [](QPainter& p) {  // 0 envelope
        box(p, 1, 4, 14, 9, kPaper);
        p.drawLine(1, 4, 8, 9);
        p.drawLine(8, 9, 14, 4);
      },
      [](QPainter& p) {  // 1 speed and serial: a dial
        p.setPen(kLine);
        p.setBrush(kPaper);
        p.drawEllipse(1, 1, 13, 13);
        p.drawLine(8, 8, 12, 4);
      },
      [](QPainter& p) {  // 2 tray
        box(p, 1, 7, 14, 6, kShade);
        box(p, 3, 4, 10, 4, kPaper);
      },
      [](QPainter& p) {  // 3 font cartridge
        box(p, 2, 2, 12, 12, kOption);
        p.fillRect(4, 4, 8, 3, kPaper);
      },
      [](QPainter& p) { box(p, 3, 1, 10, 14, kPaper); },  // 4 plain sheet
      [](QPainter& p) {                                   // 5 transparency
        box(p, 3, 1, 10, 14, QColor(200, 230, 250));
        p.drawLine(5, 4, 10, 4);
      },
      [](QPainter& p) {  // 6 memory chip
        box(p, 3, 3, 10, 10, kLine);
        for (int i = 4; i < 13; i += 3) {
          p.fillRect(1, i, 2, 1, kLine);
          p.fillRect(13, i, 2, 1, kLine);
        }
      },
      [](QPainter& p) {  // 7 hard disk
        box(p, 1, 3, 14, 10, kShade);
        p.setBrush(kPaper);
        p.drawEllipse(4, 4, 7, 7);
      },
      [](QPainter& p) {  // 8 labels
        box(p, 3, 1, 10, 14, kPaper);
        p.fillRect(5, 3, 6, 3, kLegal);
        p.fillRect(5, 9, 6, 3, kLegal);
      },
      [](QPainter& p) {  // 9 duplex unit: two sheets and a turn
        box(p, 1, 1, 8, 10, kPaper);
        box(p, 6, 5, 8, 10, kPaper);
        p.fillRect(11, 2, 3, 2, kOption);
      },
  };
  for (std::size_t i = 0; i < icons.size(); ++i) {
    p.save();
    p.translate(static_cast<int>(i) * 16, 0);
    icons[i](p);
    p.restore();
  }
  return image;
}

// The Keystone printer: two trays, and the optional third one 1000 ids
// higher. Its hard errors are those its alerts can store (toner low is not
// one), and its own jam at the input trays (4524).
void addKeystone(const std::function<void(int, const QImage&)>& add) {
  const Lower two{{Drawer::Plain, Drawer::Plain}};
  const Lower three{{Drawer::Plain, Drawer::Plain, Drawer::Option}};
  for (const auto& [offset, lower] : {std::pair{0, two}, std::pair{1000, three}}) {
    add(3600 + offset, printer(lower));
    for (const auto& [id, image] : hardErrors(lower))
      if (id != 3514) add(id + offset, image);
    add(4524 + offset, hardError([](QPainter& p) { crumpledSheet(p, 24, kLowerTop + 15); }, lower));
  }
}

// The pictures of one resource library, by file name.
bool save(const std::string& dir, const std::map<std::string, QImage>& files) {
  for (const auto& [name, image] : files) {
    const std::string path = dir + "/" + name;
    if (!image.save(QString::fromStdString(path), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return false;
    }
  }
  std::printf("%zu pictures\n", files.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool keystone = argc == 3 && std::string(argv[1]) == "--keystone";
  if (argc != 2 && !keystone) {
    std::fprintf(stderr, "usage: %s [--keystone] <directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[argc - 1];
  std::map<std::string, QImage> files;
  auto add = [&](int id, const QImage& image) { files[std::to_string(id) + ".png"] = image; };
  if (keystone) {
    addKeystone(add);
    return save(dir, files) ? 0 : 1;
  }

  add(3600, printer());
  add(3604, right(lowerBody({{Drawer::Big}})));
  add(3605, right(lowerBody({{Drawer::Big, Drawer::Plain}})));
  add(3603, right(lowerBody({{Drawer::Plain, Drawer::Option}})));
  add(3665, right(lowerBody({{Drawer::Plain, Drawer::Option}})));
  add(3700, left(topBand({true, Feeder::None})));
  add(3607, right(topBand({false, Feeder::Envelope})));
  add(3608, right(topBand({true, Feeder::Envelope})));
  // Also reached as combined ids; drawn as the feeders they are named for.
  const std::set<int> feeders = {3660, 3661};
  add(3660, right(topBand({false, Feeder::Dual})));
  add(3661, right(topBand({true, Feeder::Dual})));
  for (const auto& [id, c] : combinations())
    if (!feeders.count(id)) add(id, combined(c));
  for (const auto& [id, image] : hardErrors()) add(id, image);
  add(2000, operatorPanel());
  add(128, panelTemplate());
  files["features_imagelist.png"] = featureStrip();
  return save(dir, files) ? 0 : 1;
}
