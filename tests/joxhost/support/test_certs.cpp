#include "test_certs.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace joxhost::test {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

Key newKey() { return Key(EVP_EC_gen("P-256"), EVP_PKEY_free); }

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!extension) throw std::runtime_error("bad extension " + value);
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

Cert newCert(EVP_PKEY* key, const std::string& commonName, long serial) {
    Cert cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600L * 24 * 30);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    return cert;
}

void writeCert(const std::filesystem::path& path, X509* cert) {
    FILE* f = std::fopen(path.c_str(), "w");
    PEM_write_X509(f, cert);
    std::fclose(f);
}

}  // namespace

CertFiles makeCertificates(const std::filesystem::path& dir, const std::string& caName,
                           const std::vector<std::string>& serverNames) {
    std::filesystem::create_directories(dir);
    CertFiles files{dir / (caName + "-ca.pem"), dir / (caName + "-server.pem"), dir / (caName + "-server.key")};

    Key caKey = newKey();
    Cert ca = newCert(caKey.get(), caName, 1);
    X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
    addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
    X509_sign(ca.get(), caKey.get(), EVP_sha256());

    Key serverKey = newKey();
    Cert server = newCert(serverKey.get(), "joxhost test server", 2);
    X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get()));
    addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid");
    std::string names;
    for (const auto& n : serverNames) names += (names.empty() ? "" : ",") + n;
    addExtension(server.get(), ca.get(), NID_subject_alt_name, names);
    X509_sign(server.get(), caKey.get(), EVP_sha256());

    writeCert(files.caCert, ca.get());
    writeCert(files.serverCert, server.get());
    FILE* f = std::fopen(files.serverKey.c_str(), "w");
    PEM_write_PrivateKey(f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    return files;
}

}  // namespace joxhost::test
