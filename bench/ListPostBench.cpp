// The cost of posting in the desktop program: every Status and Debug line of
// a whole 1,000-block programming run, as the core posts them (the run itself
// goes against the board's protocol model in process), posted again in the
// same order to the main window's real list boxes, shown offscreen. Each post
// adds the line, scrolls to it, repaints and keeps the 200-line cap. Prints
// figures; never fails on a timing.
#include <QApplication>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "ReferenceImage.h"
#include "Rig.h"
#include "app/qt/MainStartUp.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

using namespace qrb;

namespace {

constexpr int Blocks = 1000;

struct Post {
  bool status;
  std::string line;
};

std::vector<Post> LinesOfARun() {
  test::BoardRig run(test::Link::Ethernet);
  std::vector<Post> posts;
  run.List1 = PlainListBox([&posts](const std::string& line) { posts.push_back({true, line}); });
  run.List2 = PlainListBox([&posts](const std::string& line) { posts.push_back({false, line}); });
  run.UseImage(test::S3Records(0x10000, Blocks * 256, 32) + std::string(test::S7EndRecord));
  posts.clear();
  run.Start(true);
  run.RunToEnd(20 * Blocks);
  return posts;
}

class NoExit : public Application {
 public:
  void EndProgram() override {}
};

void Report(const char* what, std::vector<double> us) {
  std::sort(us.begin(), us.end());
  double total = 0;
  for (double u : us) total += u;
  const auto at = [&us](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
  std::printf("%-40s %6zu posts  total %8.1f ms  per block %7.1f us  mean %6.1f us  median %6.1f us  "
              "p99 %7.1f us  max %7.1f us\n",
              what, us.size(), total / 1000, total / Blocks, total / us.size(), at(0.5), at(0.99), us.back());
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::vector<Post> posts = LinesOfARun();
  std::size_t longest = 0;
  for (const Post& p : posts) longest = std::max(longest, p.line.size());
  std::printf("A %d-block programming run posts %zu lines (longest %zu characters).\n", Blocks, posts.size(),
              longest);

  // Per-item sizes (every line whole), then the uniform sizes that cut long
  // lines short, for comparison.
  for (bool uniform : {false, true}) {
    QtSerialLibrary serial;
    QtTcpControl tcp;
    NoExit exit;
    MainStartUp startUp({serial, tcp, exit, &serial});
    startUp.Main();
    for (auto* list : startUp.Form1Window().findChildren<QListWidget*>()) list->setUniformItemSizes(uniform);
    QApplication::processEvents();
    Form1& core = startUp.Form1Window().Core();
    std::vector<double> us;
    us.reserve(posts.size());
    for (const Post& p : posts) {
      std::string line = p.line;
      const auto start = std::chrono::steady_clock::now();
      if (p.status) core.PostMsg1(line); else core.PostMsg2(line);
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
      QApplication::processEvents();  // the event loop runs between ticks
    }
    Report(uniform ? "uniform item sizes (lines cut short)" : "per-item sizes (every line whole)", us);
  }
  return 0;
}
