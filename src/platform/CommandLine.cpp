// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

// The length of the UTF-8 sequence at `i`, or 0 when the bytes there are not UTF-8 (overlong forms and
// surrogates included).
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

// Arguments are bytes, the parser wants text. A byte that is not part of UTF-8 text becomes a lone low
// surrogate, U+DC80 to U+DCFF, which no text decodes to, so every argument converts back byte for byte and
// names that differ only in such bytes stay apart.
QString DecodeArgument(const std::string& bytes) {
    QString out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            out += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            i += length;
        }
    }
    return out;
}

std::string RawArgument(const QString& value) {
    std::string out;
    qsizetype textStart = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        const bool escaped = c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !value[i - 1].isHighSurrogate());
        if (!escaped) continue;
        out += value.mid(textStart, i - textStart).toUtf8().toStdString();
        out += static_cast<char>(c - 0xDC00);
        textStart = i + 1;
    }
    return out + value.mid(textStart).toUtf8().toStdString();
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineOptions options;
    QStringList list;
    for (const std::string& a : args) list << DecodeArgument(a);
    if (list.isEmpty()) list << QStringLiteral("quarnedit");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("QuarnEdit: a patch editor for a MIDI synthesizer."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version."));
    const QCommandLineOption listDevices(
        QStringLiteral("list-devices"),
        QStringLiteral("Print the MIDI output devices, one \"index<TAB>name\" a line."));
    const QCommandLineOption exportMidi(QStringLiteral("export-midi"),
                                        QStringLiteral("Write the patch IN as a Standard MIDI File OUT."),
                                        QStringLiteral("IN.qnp"));
    const QCommandLineOption transmit(QStringLiteral("transmit"),
                                      QStringLiteral("Send the whole patch IN to the MIDI output device."),
                                      QStringLiteral("IN.qnp"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The MIDI output device for --transmit, by index or by name "
                                                   "(default: the stored one)."),
                                    QStringLiteral("N|NAME"));
    parser.addOptions({help, version, listDevices, exportMidi, transmit, device});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A patch file to open (with --export-midi: OUT.mid)."),
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
        options.text =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("quarnedit")).toStdString();
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
        const QString value = parser.value(device);
        const int n = value.toInt(&ok);
        if (ok && n >= 0) {
            options.device = n;
        } else if (!ok && !value.trimmed().isEmpty()) {
            options.deviceName = RawArgument(value);
        } else {
            return fail(QStringLiteral("--device takes a device index (0, 1, 2, ...) or a device name."));
        }
    }

    if (parser.isSet(listDevices)) {
        if (!positional.isEmpty()) return fail(QStringLiteral("--list-devices takes no file."));
        options.mode = CommandLineOptions::Mode::ListDevices;
    } else if (parser.isSet(exportMidi)) {
        if (positional.size() != 1) return fail(QStringLiteral("--export-midi takes IN.qnp and OUT.mid."));
        options.mode = CommandLineOptions::Mode::ExportMidi;
        options.input = RawArgument(parser.value(exportMidi));
        options.output = RawArgument(positional.front());
    } else if (parser.isSet(transmit)) {
        if (!positional.isEmpty()) return fail(QStringLiteral("--transmit takes one patch file."));
        options.mode = CommandLineOptions::Mode::Transmit;
        options.input = RawArgument(parser.value(transmit));
    } else {
        if (positional.size() > 1) return fail(QStringLiteral("Open one patch file at a time."));
        if (!positional.isEmpty()) options.file = RawArgument(positional.front());
    }
    if (options.input.empty() &&
        (options.mode == CommandLineOptions::Mode::ExportMidi || options.mode == CommandLineOptions::Mode::Transmit)) {
        return fail(QStringLiteral("The patch file name is empty."));
    }
    return options;
}
