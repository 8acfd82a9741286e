#include "platform/image/image_properties.h"

#include <QString>
#include <QVariantList>
#include <climits>
#include <exception>
#include <exiv2/exiv2.hpp>
#include <mutex>

namespace zeta::platform {
namespace {

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The library keeps process-wide state that must be set up before threads use it, and
        // its warnings about odd files are no concern of the user's.
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

QVariant one(const Exiv2::Value& value, long i) {
    switch (value.typeId()) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
        return QVariant::fromValue(static_cast<qlonglong>(value.toLong(i)));
    case Exiv2::unsignedRational:
    case Exiv2::signedRational: {
        const Exiv2::Rational r = value.toRational(i);
        return r.second == 0 ? QVariant() : QVariant::fromValue(static_cast<double>(r.first) / r.second);
    }
    case Exiv2::tiffFloat:
    case Exiv2::tiffDouble:
        return QVariant::fromValue(static_cast<double>(value.toFloat(i)));
    default:
        return QString::fromStdString(value.toString(i));
    }
}

QVariant valueOf(const Exiv2::Value& value) {
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::asciiString || type == Exiv2::string || type == Exiv2::comment || type == Exiv2::undefined ||
        type == Exiv2::xmpText) {
        QString text = QString::fromStdString(value.toString());
        while (text.endsWith(QChar(0)))
            text.chop(1);
        return text.trimmed();
    }
    const long count = value.count();
    if (count == 1) return one(value, 0);
    QVariantList list;
    for (long i = 0; i < count && i < 256; ++i)
        list.append(one(value, i));
    return list;
}

// Still-image formats only: the library also parses video containers, whose parsers trust
// sizes in the file enough to ask for gigabytes.
bool isStillImage(int type) {
    namespace T = Exiv2::ImageType;
    return type == T::jpeg || type == T::tiff || type == T::png || type == T::crw || type == T::cr2 || type == T::mrw ||
           type == T::raf || type == T::orf || type == T::rw2;
}

QString groupKey(const std::string& group) {
    if (group == "Image") return QStringLiteral("{TIFF}");
    if (group == "Photo") return QStringLiteral("{Exif}");
    if (group == "GPSInfo") return QStringLiteral("{GPS}");
    return {};
}

} // namespace

std::optional<QVariantMap> imagePropertiesWithData(const Data& data) {
    if (data.empty() || data.length() > static_cast<std::size_t>(LONG_MAX)) return std::nullopt;
    initialiseOnce();
    try {
        if (!isStillImage(Exiv2::ImageFactory::getType(data.bytes(), static_cast<long>(data.length()))))
            return std::nullopt;
        auto image = Exiv2::ImageFactory::open(data.bytes(), static_cast<long>(data.length()));
        if (!image.get()) return std::nullopt;
        image->readMetadata();
        QVariantMap properties;
        if (image->pixelWidth() > 0) properties.insert(QStringLiteral("PixelWidth"), image->pixelWidth());
        if (image->pixelHeight() > 0) properties.insert(QStringLiteral("PixelHeight"), image->pixelHeight());
        QVariantMap groups[3];
        const QString names[3] = {QStringLiteral("{TIFF}"), QStringLiteral("{Exif}"), QStringLiteral("{GPS}")};
        for (const auto& datum : image->exifData()) {
            const QString group = groupKey(datum.groupName());
            if (group.isEmpty()) continue;
            const QString tag = QString::fromStdString(datum.tagName());
            const QVariant value = valueOf(datum.value());
            for (int i = 0; i < 3; ++i) {
                if (names[i] == group) groups[i].insert(tag, value);
            }
            if (group == names[0] && tag == QLatin1String("Orientation"))
                properties.insert(QStringLiteral("Orientation"), value);
        }
        for (int i = 0; i < 3; ++i) {
            if (!groups[i].isEmpty()) properties.insert(names[i], groups[i]);
        }
        return properties;
    } catch (const Exiv2::AnyError&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace zeta::platform
