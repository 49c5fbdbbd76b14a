#include "admanager/settings/AccountEditing.h"

#include "admanager/settings/AppSettings.h"
#include "common/Cp932.h"

namespace {

// The port edit is read with room for 30 characters.
constexpr std::size_t kPortChars = 30;

// One accessor for both constness of the entry.
template <typename E> auto* AspText(E& e, AspField field) {
    switch (field) {
    case AspField::Name:
        return &e.name;
    case AspField::Url:
        return &e.url;
    case AspField::UserId:
        return &e.userId;
    case AspField::Password:
        return &e.password;
    }
    return static_cast<decltype(&e.name)>(nullptr);
}

template <typename E> auto* FtpText(E& e, FtpField field) {
    switch (field) {
    case FtpField::Name:
        return &e.name;
    case FtpField::Host:
        return &e.host;
    case FtpField::User:
        return &e.user;
    case FtpField::Password:
        return &e.password;
    case FtpField::Directory:
        return &e.directory;
    case FtpField::KeyFile:
        return &e.keyFile;
    case FtpField::Port:
        break;
    }
    return static_cast<decltype(&e.name)>(nullptr);
}

} // namespace

std::size_t FieldLimit(AspField field) {
    return field == AspField::Password ? AspEntry::kPasswordBytes : AspEntry::kTextBytes;
}

std::size_t FieldLimit(FtpField field) {
    switch (field) {
    case FtpField::Name:
        return FtpHostEntry::kNameBytes;
    case FtpField::Host:
        return FtpHostEntry::kHostBytes;
    case FtpField::Port:
        return kPortChars;
    case FtpField::User:
        return FtpHostEntry::kUserBytes;
    case FtpField::Password:
        return FtpHostEntry::kPasswordBytes;
    case FtpField::Directory:
        return FtpHostEntry::kDirectoryBytes;
    case FtpField::KeyFile:
        return FtpHostEntry::kKeyFileBytes;
    }
    return 0;
}

std::string FieldText(const AspEntry& entry, AspField field) {
    return *AspText(entry, field);
}

std::string FieldText(const FtpHostEntry& entry, FtpField field) {
    if (field == FtpField::Port)
        return std::to_string(entry.port);
    return *FtpText(entry, field);
}

void SetField(AspEntry& entry, AspField field, std::string_view text) {
    *AspText(entry, field) = Cp932::Kept(text, FieldLimit(field));
}

void SetField(FtpHostEntry& entry, FtpField field, std::string_view text) {
    if (field == FtpField::Port) {
        entry.port = PortFromText(text);
        return;
    }
    *FtpText(entry, field) = Cp932::Kept(text, FieldLimit(field));
}

std::int32_t PortFromText(std::string_view text) {
    return SettingsFile::DecimalValue(Cp932::Kept(text, kPortChars));
}

void SetProtocol(FtpHostEntry& entry, FtpProtocol protocol) {
    if (entry.port == DefaultPort(entry.protocol))
        entry.port = DefaultPort(protocol);
    entry.protocol = protocol;
}
