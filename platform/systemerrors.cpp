#include "platform/systemerrors.h"

#include <QCoreApplication>
#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace lumo {

namespace {

struct KnownError {
    int number;
    // glibc's text, which Qt also uses for some numbers whatever the locale.
    const char* english;
    const char16_t* words;
};

constexpr KnownError kKnownErrors[] = {
    {ENOENT, "No such file or directory", u"o arquivo ou a pasta não existe"},
    {EACCES, "Permission denied", u"sem permissão de acesso"},
    {EPERM, "Operation not permitted", u"operação não permitida"},
    {ENOSPC, "No space left on device", u"o disco está cheio"},
    {EDQUOT, "Disk quota exceeded", u"a cota do disco se esgotou"},
    {EROFS, "Read-only file system", u"o disco é somente leitura"},
    {EISDIR, "Is a directory", u"o caminho é uma pasta"},
    {ENOTDIR, "Not a directory", u"uma parte do caminho não é uma pasta"},
    {ENAMETOOLONG, "File name too long", u"o nome do arquivo é longo demais"},
    {EFBIG, "File too large", u"o arquivo ficou grande demais"},
    {EMFILE, "Too many open files", u"há arquivos abertos demais"},
    {EIO, "Input/output error", u"erro de leitura ou gravação no disco"},
    {ELOOP, "Too many levels of symbolic links", u"há links simbólicos demais no caminho"},
};

QString wordsOf(const KnownError& known) {
    return QString::fromUtf16(known.words);
}

} // namespace

QString systemErrorText(int errorNumber) {
    for (const KnownError& known : kKnownErrors)
        if (known.number == errorNumber)
            return wordsOf(known);
    return QString::fromLocal8Bit(std::strerror(errorNumber)).trimmed();
}

QString systemErrorText(const QString& text) {
    const QString trimmed = text.trimmed();
    for (const KnownError& known : kKnownErrors)
        if (trimmed.compare(QLatin1StringView(known.english), Qt::CaseInsensitive) == 0 ||
            trimmed == QString::fromLocal8Bit(std::strerror(known.number)).trimmed() ||
            trimmed == QCoreApplication::translate("QIODevice", known.english))
            return wordsOf(known);
    return text;
}

QString fileErrorText(const QFileDevice& file) {
    return systemErrorText(file.errorString());
}

} // namespace lumo
