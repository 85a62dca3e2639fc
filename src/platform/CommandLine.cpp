#include "platform/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

// The raw bytes of the argument that Qt decoded into `value`, so that names that are not valid
// text in the locale still reach the file system unchanged.
std::string RawArgument(const std::vector<std::string>& args, const QString& value) {
    for (const std::string& a : args)
        if (QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size())) == value) return a;
    return value.toLocal8Bit().toStdString();
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineOptions options;
    QStringList list;
    for (const std::string& a : args) list << QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size()));
    if (list.isEmpty()) list << QStringLiteral("quarnedit");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("QuarnEdit: a patch editor for a MIDI synthesizer."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version."));
    const QCommandLineOption listDevices(QStringLiteral("list-devices"),
                                         QStringLiteral("Print the MIDI output devices, one \"index<TAB>name\" a line."));
    const QCommandLineOption exportMidi(QStringLiteral("export-midi"),
                                        QStringLiteral("Write the patch IN as a Standard MIDI File OUT."),
                                        QStringLiteral("IN.qnp"));
    const QCommandLineOption transmit(QStringLiteral("transmit"),
                                      QStringLiteral("Send the whole patch IN to the MIDI output device."),
                                      QStringLiteral("IN.qnp"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The MIDI output device for --transmit (default: the stored one)."),
                                    QStringLiteral("N"));
    parser.addOptions({help, version, listDevices, exportMidi, transmit, device});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A patch file to open (with --export-midi: OUT.mid)."),
                                 QStringLiteral("[FILE]"));

    auto fail = [&](const QString& why) {
        options.mode = CommandLineOptions::Mode::Error;
        options.text = why.toStdString();
        return options;
    };
    if (!parser.parse(list)) return fail(parser.errorText());

    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(help)) {
        options.mode = CommandLineOptions::Mode::Help;
        // Without an application object the parser cannot know the program's name.
        options.text = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("quarnedit")).toStdString();
        return options;
    }
    if (parser.isSet(version)) {
        options.mode = CommandLineOptions::Mode::Version;
        return options;
    }
    const int modes = int(parser.isSet(listDevices)) + int(parser.isSet(exportMidi)) + int(parser.isSet(transmit));
    if (modes > 1) return fail(QStringLiteral("Choose one of --list-devices, --export-midi and --transmit."));

    if (parser.isSet(device)) {
        if (!parser.isSet(transmit)) return fail(QStringLiteral("--device goes with --transmit."));
        bool ok = false;
        const int n = parser.value(device).toInt(&ok);
        if (!ok || n < 0) return fail(QStringLiteral("--device takes a device index: 0, 1, 2, ..."));
        options.device = n;
    }

    if (parser.isSet(listDevices)) {
        if (!positional.isEmpty()) return fail(QStringLiteral("--list-devices takes no file."));
        options.mode = CommandLineOptions::Mode::ListDevices;
    } else if (parser.isSet(exportMidi)) {
        if (positional.size() != 1) return fail(QStringLiteral("--export-midi takes IN.qnp and OUT.mid."));
        options.mode = CommandLineOptions::Mode::ExportMidi;
        options.input = RawArgument(args, parser.value(exportMidi));
        options.output = RawArgument(args, positional.front());
    } else if (parser.isSet(transmit)) {
        if (!positional.isEmpty()) return fail(QStringLiteral("--transmit takes one patch file."));
        options.mode = CommandLineOptions::Mode::Transmit;
        options.input = RawArgument(args, parser.value(transmit));
    } else {
        if (positional.size() > 1) return fail(QStringLiteral("Open one patch file at a time."));
        if (!positional.isEmpty()) options.file = RawArgument(args, positional.front());
    }
    if (options.input.empty() && (options.mode == CommandLineOptions::Mode::ExportMidi ||
                                  options.mode == CommandLineOptions::Mode::Transmit)) {
        return fail(QStringLiteral("The patch file name is empty."));
    }
    return options;
}
