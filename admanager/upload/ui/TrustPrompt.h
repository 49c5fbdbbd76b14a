#pragma once

#include "admanager/upload/UploadJob.h"

#include <string>

class QWidget;

// The questions an upload asks the user on its way: whether to trust the
// certificate or host key a server showed, and a key file's passphrase.

// Shows what identity holds for host and asks whether to trust it. On yes the
// entry is pinned (and the host key recorded in knownHostsPath); the caller
// saves the host list.
bool AskToTrust(QWidget* parent, FtpHostEntry& host, const PeerIdentity& identity, const std::string& knownHostsPath);

// Asks for the passphrase when the host's key file needs one. False when the
// user cancelled; passphrase is left empty when none is needed.
bool AskPassphrase(QWidget* parent, const FtpHostEntry& host, std::string& passphrase);

// Our known hosts file.
std::string KnownHostsPath();
