// Certificates made for a test: a CA and server certificates it signs, as
// PEM files in a temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace joxhost::test {

struct CertFiles {
    std::filesystem::path caCert;
    std::filesystem::path serverCert;
    std::filesystem::path serverKey;
};

// A fresh CA named caName in dir, and a server certificate it signs for the
// given subject alternative names ("IP:127.0.0.1", "DNS:localhost").
CertFiles makeCertificates(const std::filesystem::path& dir, const std::string& caName,
                           const std::vector<std::string>& serverNames);

}  // namespace joxhost::test
