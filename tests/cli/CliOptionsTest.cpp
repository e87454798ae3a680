// The command line's option table: every option it lists is taken, each
// usage error names what is wrong.
#include <QRegularExpression>
#include <QTest>

#include "CliOptions.h"

namespace qrb::test {

class CliOptionsTest : public QObject {
  Q_OBJECT

  static std::string Parse(const QString& line, cli::CliOptions& options) {
    std::vector<std::string> args;
    for (const QString& word : line.split(u' ', Qt::SkipEmptyParts)) args.push_back(word.toStdString());
    std::string error;
    return cli::ParseCliOptions(args, options, error) ? std::string() : error;
  }

 private slots:
  // Each option of the usage, with a value its help allows, on a command it belongs to.
  void everyListedOptionIsTaken() {
    const QString usage = QString::fromStdString(cli::CliUsage());
    static const QRegularExpression option(QStringLiteral("--([a-z-]+)( [A-Z.\\[\\]:-]+)?"));
    const QMap<QString, QString> lines{
        {"tcp", "program f --tcp 127.0.0.1:1"},     {"com", "program f --com 2"},
        {"serial", "program f --serial /dev/x"},    {"baud", "program f --com 1 --baud 115200"},
        {"connect-timeout", "verify f --com 1 --connect-timeout 0.5"}, {"wait", "read f --com 1 --range 0-1 --wait 2"},
        {"tick", "program f --com 1 --tick 1"},     {"report", "program f --com 1 --report r.json"},
        {"skip-unchanged", "program f --com 1 --skip-unchanged"}, {"range", "read f --com 1 --range 0x10-0x20"},
        {"quiet", "verify f --com 1 --quiet"},      {"single-read", "read f --com 1 --range 0-1 --single-read"},
        {"fix", "check f --fix g"},                 {"json", "ports --json"},
        {"help", "--help"},                         {"version", "--version"},
    };
    QSet<QString> seen;
    for (auto it = option.globalMatch(usage); it.hasNext();) seen << it.next().captured(1);
    QVERIFY(seen.size() >= lines.size());
    for (const QString& name : seen) {
      QVERIFY2(lines.contains(name), qPrintable("no test line for --" + name));
      cli::CliOptions options;
      QCOMPARE(Parse(lines[name], options), std::string());
    }
  }

  // Each usage error, by a part of its line.
  void usageErrorsNameTheFault() {
    const std::pair<const char*, const char*> cases[] = {
        {"program f --tcp h --bogus --tick 0", "unknown option --bogus"},  // unknown option first
        {"program f --tick 0 --bogus", "--tick takes milliseconds 1..50"},  // an earlier bad value wins
        {"program f --tcp", "--tcp needs a value"},  // value missing
        {"read f --tcp h --range 0-1 --single-read=1", "--single-read takes no value"},  // switch with a value
        {"verify f --tcp h --skip-unchanged", "--skip-unchanged belongs to"},  // option of another command
        {"program f --tcp h --report a --report b", "--report given twice"},  // report twice
        {"program f --tcp h --report -", "--report -: stdout carries the Status list"},  // report to stdout
        {"check f --fix -", "--fix -: stdout carries the check's lines"},  // fix to stdout
        {"program f --tcp h:1 --tcp h:1", "the same board twice: h:1"},  // same board
        {"read f --tcp h --com 1 --range 0-1", "read takes one link"},  // read, two links
        {"program f --tcp h --wait 0", "--wait takes seconds"},  // seconds
        {"program -- --f --tcp h", "unexpected argument --tcp"},  // names after --
    };
    for (const auto& [line, error] : cases) {
      cli::CliOptions options;
      const std::string got = Parse(QString::fromLatin1(line), options);
      QVERIFY2(got.find(error) != std::string::npos, (std::string(line) + ": " + got).c_str());
    }
  }
};

}  // namespace qrb::test

QTEST_APPLESS_MAIN(qrb::test::CliOptionsTest)
#include "CliOptionsTest.moc"
