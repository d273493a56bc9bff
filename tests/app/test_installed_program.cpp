// The program as users get it: installed by `cmake --install` into a temporary root (DESTDIR), and from the
// Debian package that CPack builds, unpacked with dpkg-deb. Each installation holds exactly its files with
// their modes, its desktop entry and metainfo pass their validators, and the program started the way a
// desktop menu starts it (the entry's command, from an empty home folder) opens with all three bitmaps:
// no error box, the scale marks and the pointer where they belong.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <map>
#include <optional>
#include <set>

#include <sys/stat.h>

#include "TestAudio.h"
#include "XvfbHarness.h"

namespace {

using namespace tuner_screen;

using xvfb::Output;

Output RunCommand(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    return xvfb::Run(program, arguments, environment);
}

// The key=value lines of the [Desktop Entry] group.
std::map<QString, QString> ReadDesktopEntry(const QString& path) {
    std::map<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return entry;
    bool inGroup = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('['))) inGroup = line == QLatin1String("[Desktop Entry]");
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0) entry[line.left(eq)] = line.mid(eq + 1);
    }
    return entry;
}

// Installed files relative to the prefix, with their modes.
const std::map<std::string, int> kInstalledFiles = {
    {ZT_BINDIR "/zemtar-tuner", 0755},
    {ZT_LIBEXECDIR "/zemtar-tuner/zemtar_tuner", 0755},
    {ZT_DATADIR "/zemtar-tuner/img/pointer.bmp", 0644},
    {ZT_DATADIR "/zemtar-tuner/img/division.bmp", 0644},
    {ZT_DATADIR "/zemtar-tuner/img/smallDivision.bmp", 0644},
    {ZT_DATADIR "/applications/ru.zemtar.Tuner.desktop", 0644},
    {ZT_DATADIR "/metainfo/ru.zemtar.Tuner.metainfo.xml", 0644},
    {ZT_DATADIR "/icons/hicolor/16x16/apps/ru.zemtar.Tuner.png", 0644},
    {ZT_DATADIR "/icons/hicolor/scalable/apps/ru.zemtar.Tuner.svg", 0644},
    {ZT_MANDIR "/man1/zemtar-tuner.1.gz", 0644},
    {ZT_DATAROOTDIR "/doc/zemtar-tuner/copyright", 0644},
    {ZT_DATAROOTDIR "/doc/zemtar-tuner/changelog.gz", 0644},
    {ZT_DATAROOTDIR "/lintian/overrides/zemtar-tuner", 0644},
};

void ExpectInstalledFiles(const QString& root, const QString& prefix) {
    const QString base = root + prefix + QLatin1Char('/');
    std::map<std::string, int> found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = path.startsWith(base) ? path.mid(base.size()) : path;
        struct stat status {};
        found[name.toStdString()] =
            ::stat(path.toLocal8Bit().constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
    }
    EXPECT_EQ(found, kInstalledFiles);
}

void ExpectValidMetadata(const QString& root, const QString& prefix) {
    const QString share = root + prefix + QStringLiteral("/" ZT_DATADIR);
    const Output desktop = RunCommand("desktop-file-validate", {share + "/applications/ru.zemtar.Tuner.desktop"});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.text.toStdString();
    EXPECT_EQ(desktop.text.toStdString(), "") << "hints or warnings";
    const Output metainfo =
        RunCommand("appstreamcli", {"validate", "--no-net", share + "/metainfo/ru.zemtar.Tuner.metainfo.xml"});
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.text.toStdString();

    QFile xml(share + "/metainfo/ru.zemtar.Tuner.metainfo.xml");
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(xml.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("<release version=\"" ZT_VERSION "\""))) << "release of this version";
    EXPECT_TRUE(text.contains(QStringLiteral("<project_license>MIT</project_license>")));

    const QImage icon(share + "/icons/hicolor/16x16/apps/ru.zemtar.Tuner.png");
    EXPECT_EQ(icon.size(), QSize(16, 16));
    EXPECT_TRUE(icon.colorCount() > 0 && icon.colorCount() <= 16) << icon.colorCount();
}

// A 340 Hz tone served in real time as ALSA's "default" capture device. Made first in each test: under
// ThreadSanitizer no thread may start after this process (already multi-threaded) has forked a program.
struct ToneInput {
    QTemporaryDir dir;
    test_audio::PipedTone pipe{dir.path().toStdString(), "tone", test_audio::MakeTone(340.0, 100.0, 8.0)};
    bool ready = dir.isValid() && pipe.Ready();
    const std::string& config = pipe.ConfigPath();
};

// Starts the installed program as a menu does: the desktop entry's command found in the installation's
// bin folder, HOME and the working directory an empty folder, while the tone is recorded.
void ExpectStartsFromTheMenu(const QString& root, const QString& prefix, const ToneInput& tone) {
    const QString share = root + prefix + QStringLiteral("/" ZT_DATADIR);
    const std::map<QString, QString> entry = ReadDesktopEntry(share + "/applications/ru.zemtar.Tuner.desktop");
    ASSERT_EQ(entry.count("Exec"), 1u);
    ASSERT_EQ(entry.count("Path"), 1u);
    EXPECT_EQ(entry.at("Path").toStdString(), (prefix + QStringLiteral("/" ZT_DATADIR "/zemtar-tuner")).toStdString());
    EXPECT_TRUE(QFileInfo::exists(root + entry.at("Path") + "/img/pointer.bmp")) << "Path= holds img/";
    EXPECT_TRUE(QFileInfo::exists(share + "/icons/hicolor/16x16/apps/" + entry.at("Icon") + ".png"));
    QStringList command = entry.at("Exec").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    command.removeIf([](const QString& word) { return word.startsWith(QLatin1Char('%')); });
    ASSERT_FALSE(command.isEmpty());
    const QString program = root + prefix + QStringLiteral("/" ZT_BINDIR "/") + command.takeFirst();
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(tone.ready);

    xvfb::Launch launch{program, command, home.path()};
    launch.environment.insert("HOME", home.path());
    launch.environment.insert("ALSA_CONFIG_PATH", QString::fromStdString(tone.config));
    QProcess tuner;
    ASSERT_TRUE(xvfb::Start(tuner, launch));

    const std::optional<QRect> window = xvfb::WaitForWindow("Tuner @ Zemtar", 30000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared; windows: " << xvfb::ViewableTitles();
    QImage shot;
    const bool drawn = xvfb::WaitUntil([&] {
        shot = xvfb::Grab(*window);
        return !NavyColumns(shot).empty();
    }, 30000);
    QThread::msleep(600);  // a tick more, for any box that follows
    shot = xvfb::Grab(*window);
    EXPECT_TRUE(drawn) << "no pointer within 30 s";

    // Only the tuner window is open: no box about a bitmap, nor any other.
    const std::vector<xvfb::Window> windows = xvfb::ViewableWindows();
    ASSERT_EQ(windows.size(), 1u) << "windows: " << xvfb::ViewableTitles();
    EXPECT_EQ(windows[0].title.toStdString(), "Tuner @ Zemtar");
    // The marks (drawn only when all three bitmaps loaded) at their places, as wide as the installed bitmaps.
    const int divisionWidth = QImage(root + entry.at("Path") + "/img/division.bmp").width();
    const int smallWidth = QImage(root + entry.at("Path") + "/img/smallDivision.bmp").width();
    EXPECT_EQ(BlackTopColumns(shot), ExpectedMarkColumns(divisionWidth, smallWidth));
    EXPECT_GT(NavyColumns(shot).size(), 5u);

    xvfb::Stop(tuner);
}

TEST(InstalledProgram, CmakeInstallIntoADestdirStartsFromTheMenuWithItsBitmaps) {
    const ToneInput tone;
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString prefix = QStringLiteral("/usr/local");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DESTDIR", root.path());
    const Output install = RunCommand(ZT_CMAKE, {"--install", ZT_BINARY_DIR, "--prefix", prefix}, environment);
    ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();

    ExpectInstalledFiles(root.path(), prefix);
    ExpectValidMetadata(root.path(), prefix);
    ExpectStartsFromTheMenu(root.path(), prefix, tone);
}

TEST(InstalledProgram, DebianPackageUnpackedStartsFromTheMenuWithItsBitmaps) {
    const ToneInput tone;
    QTemporaryDir out, root;
    ASSERT_TRUE(out.isValid() && root.isValid());
    const Output cpack =
        RunCommand(ZT_CPACK, {"-G", "DEB", "--config", ZT_BINARY_DIR "/CPackConfig.cmake", "-B", out.path()});
    ASSERT_EQ(cpack.exitCode, 0) << cpack.text.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << cpack.text.toStdString();
    const QString deb = out.filePath(debs[0]);

    // The control fields a Debian user and packager rely on.
    const Output fields = RunCommand("dpkg-deb", {"--field", deb, "Package", "Version", "Section", "Depends"});
    ASSERT_EQ(fields.exitCode, 0) << fields.text.toStdString();
    std::map<QString, QString> control;
    for (const QString& line : fields.text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon > 0) control[line.left(colon)] = line.mid(colon + 2);
    }
    EXPECT_EQ(control["Package"].toStdString(), "zemtar-tuner");
    EXPECT_EQ(control["Version"].toStdString(), ZT_VERSION);
    EXPECT_EQ(control["Section"].toStdString(), "sound");
    std::set<QString> depends;
    for (const QString& item : control["Depends"].split(QLatin1Char(','))) {
        depends.insert(item.trimmed().section(QLatin1Char(' '), 0, 0));
    }
    for (const char* needed : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libasound2", "libasound2-plugins",
                               "fonts-liberation", "qt6-translations-l10n"}) {
        EXPECT_EQ(depends.count(QString::fromLatin1(needed)), 1u)
            << needed << " in " << control["Depends"].toStdString();
    }

    // What a Debian packager asks for (manual page, copyright, changelog, permissions, ...): no errors or warnings.
    const Output lintian = RunCommand("lintian", {"--fail-on", "error,warning", deb});
    EXPECT_EQ(lintian.exitCode, 0) << lintian.text.toStdString();

    const Output unpack = RunCommand("dpkg-deb", {"-x", deb, root.path()});
    ASSERT_EQ(unpack.exitCode, 0) << unpack.text.toStdString();
    ExpectInstalledFiles(root.path(), "/usr");
    ExpectValidMetadata(root.path(), "/usr");
    ExpectStartsFromTheMenu(root.path(), "/usr", tone);
}

}  // namespace
