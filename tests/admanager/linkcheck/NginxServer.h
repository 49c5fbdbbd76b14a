#pragma once

// Debian's nginx on 127.0.0.1:80 and :443 inside a network namespace of the
// test process's own, with its own /etc/hosts and a DNS stub that knows no
// name, so the link check meets a real server under real host names while
// nothing it asks for can leave the machine.

#include "admanager/upload/RealServers.h"

#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testutil {

// "h01.bench.test" ... "h20.bench.test".
inline std::string BenchHostName(int i) {
    return std::string("h") + (i < 10 ? "0" : "") + std::to_string(i) + ".bench.test";
}

// Every name the hosts file of the namespace maps to 127.0.0.1.
inline std::vector<std::string> SandboxHostNames() {
    std::vector<std::string> names = {"ads.example.test", "img.example.test", "other.example.test",
                                      "untrusted.example.test", "wrongname.example.test"};
    for (int i = 1; i <= 20; ++i)
        names.push_back(BenchHostName(i));
    return names;
}

// Answers every query on 127.0.0.1:53 (UDP) with "no such name", as a
// resolver does for names under .invalid.
class DnsStub {
public:
    DnsStub() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(53);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            return;
        m_thread = std::thread([this] { Serve(); });
    }
    ~DnsStub() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DnsStub(const DnsStub&) = delete;
    DnsStub& operator=(const DnsStub&) = delete;
    bool Ready() const { return m_thread.joinable(); }

private:
    void Serve() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            unsigned char q[512];
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            ssize_t n = ::recvfrom(m_fd, q, sizeof q, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 12)
                continue;
            // The question ends after its name's zero label, type and class.
            std::size_t end = 12;
            while (end < static_cast<std::size_t>(n) && q[end] != 0)
                end += q[end] + 1u;
            end += 5;
            const bool oneQuestion = q[4] == 0 && q[5] == 1 && end <= static_cast<std::size_t>(n);
            std::vector<unsigned char> a(q, q + (oneQuestion ? end : 12));
            a[2] = static_cast<unsigned char>(0x80 | (q[2] & 0x79)); // QR, opcode and RD as asked
            a[3] = 0x80 | 3;                                          // RA, NXDOMAIN
            a[4] = 0;
            a[5] = oneQuestion ? 1 : 0;
            std::fill(a.begin() + 6, a.begin() + 12, 0);
            ::sendto(m_fd, a.data(), a.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
        }
    }

    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Moves the process into a new network and mount namespace with lo up and
// its own hosts, resolv.conf and nsswitch.conf, and starts the DNS stub.
// Must run while the process has one thread (before anything starts one):
// threads made earlier stay in the old namespace. Once per process; empty
// when it worked, else why not.
inline const std::string& EnterLinkCheckSandbox() {
    static const std::string failure = []() -> std::string {
        if (::geteuid() != 0)
            return "needs root for a private network namespace";
        if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
            return std::string("unshare: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("private mounts: ") + std::strerror(errno);
        int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq lo{};
        std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
        bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &lo) == 0;
        lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP | IFF_RUNNING);
        up = up && ::ioctl(s, SIOCSIFFLAGS, &lo) == 0;
        if (s >= 0)
            ::close(s);
        if (!up)
            return std::string("lo up: ") + std::strerror(errno);

        static TempDir etc;
        std::string hosts = "127.0.0.1 localhost\n::1 localhost\n";
        for (const auto& name : SandboxHostNames())
            hosts += "127.0.0.1 " + name + "\n";
        const std::pair<const char*, std::string> files[] = {
            {"/etc/hosts", hosts},
            {"/etc/resolv.conf", "nameserver 127.0.0.1\n"},
            {"/etc/nsswitch.conf", "hosts: files dns\n"},
        };
        for (const auto& [target, text] : files) {
            std::string own = etc / std::filesystem::path(target).filename().string();
            std::ofstream(own) << text;
            if (::mount(own.c_str(), target, nullptr, MS_BIND, nullptr) != 0)
                return std::string("bind mount over ") + target + ": " + std::strerror(errno);
        }
        static DnsStub dns;
        if (!dns.Ready())
            return "DNS stub could not listen on 127.0.0.1:53";
        return {};
    }();
    return failure;
}

// Image bytes with an exact pixel size, for what the server serves.
namespace images {

inline void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xff);
}
inline std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
inline void PngChunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    std::string typed = type + data;
    out += typed;
    Put32(out, Crc32(typed));
}

// A black 1-bit grey PNG, its pixels in stored (uncompressed) deflate blocks.
inline std::string Png(int width, int height) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(width));
    Put32(ihdr, static_cast<std::uint32_t>(height));
    ihdr += std::string("\x01\x00\x00\x00\x00", 5);
    PngChunk(out, "IHDR", ihdr);
    const std::string raw(static_cast<std::size_t>(height) * (1 + (static_cast<std::size_t>(width) + 7) / 8), '\0');
    std::string z("\x78\x01", 2);
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        std::size_t len = std::min<std::size_t>(raw.size() - at, 65535);
        bool last = at + len >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(len & 0xff);
        z += static_cast<char>(len >> 8);
        z += static_cast<char>(~len & 0xff);
        z += static_cast<char>((~len >> 8) & 0xff);
        z.append(raw, at, len);
        at += len;
        if (last)
            break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Put32(z, (b << 16) | a);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", "");
    return out;
}

// A GIF whose screen is width×height, with one white pixel drawn at its corner.
inline std::string Gif(int width, int height) {
    std::string out = "GIF89a";
    out += static_cast<char>(width & 0xff);
    out += static_cast<char>(width >> 8);
    out += static_cast<char>(height & 0xff);
    out += static_cast<char>(height >> 8);
    out += std::string("\x80\x00\x00\xff\xff\xff\x00\x00\x00", 9);
    // 1×1 at (0,0); LZW codes clear, 0, end in 3 bits each.
    out += std::string("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b", 16);
    return out;
}

} // namespace images

// One line of the access log.
struct AccessLine {
    double start = 0; // seconds since the epoch
    double end = 0;
    std::string scheme, host, method, uri;
    int status = 0;
    std::string userAgent, cookie; // "-" when not sent
    long connection = 0;           // nginx's serial number of the connection
};

// nginx on 127.0.0.1:80 and :443 with its own configuration, certificates
// and sites. Needs EnterLinkCheckSandbox() first. Sets SSL_CERT_FILE and
// CURL_CA_BUNDLE to the test CA, which signs the certificate of every test
// name but untrusted.example.test (self-signed) and wrongname.example.test
// (none of its own: it gets ads.example.test's).
//
//   ads.example.test    /, /page.html, /other.html, /nohead.html (HEAD: 405),
//                       /gone (404), /removed (410), /broken (500),
//                       /end (302 to http://other.example.test/), /home (302 to /),
//                       /away (302 to other.example.test/page.html),
//                       /cookie (Set-Cookie, 302 to /index.html), /slow (3.5 s),
//                       /long/* (10 s), /s/* (0.3 s)
//   img.example.test    /468x60.png, /300x250.gif, /1x1.gif, /120x90.png,
//                       /empty.gif (no bytes), /page.html, /broken.png (500),
//                       /r1 (301 /r2, 302 /468x60.png), /httponly/120x90.gif
//                       (404 over https), /s/* (0.3 s)
//   other.example.test  /, /page.html, /s/* (0.3 s)
//   h01..h20.bench.test /a/* (text, 50 ms), /i/* (468×60 GIF, 50 ms)
class NginxServer {
public:
    static std::string Root() { return ServerTreesDir() + "nginx/"; }
    static bool Unpacked() { return ::access((Root() + "usr/sbin/nginx").c_str(), X_OK) == 0; }

    NginxServer() {
        if (m_dir.path().empty() || !Unpacked()) {
            m_failure = "nginx is not unpacked: run scripts/setup-servers";
            return;
        }
        if (!MakeCertificates()) {
            m_failure = "openssl could not make the certificates";
            return;
        }
        WriteSites();
        WriteConfig();
        ::setenv("SSL_CERT_FILE", CaFile().c_str(), 1);
        ::setenv("CURL_CA_BUNDLE", CaFile().c_str(), 1);
        const std::string d = m_dir.path() + "/";
        m_pid = SpawnLogged({Root() + "usr/sbin/nginx", "-e", d + "startup.log", "-p", d, "-c", d + "nginx.conf"},
                            d + "startup.log");
        if (!WaitUntilAccepting(m_pid, 80) || !WaitUntilAccepting(m_pid, 443)) {
            m_failure = "nginx did not start\n" + LogTail();
            Stop();
        }
    }
    ~NginxServer() { Stop(); }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Ready() const { return m_pid > 0; }
    const std::string& Failure() const { return m_failure; }
    std::string CaFile() const { return m_dir / "ca.pem"; }
    void Stop() { SignalTree(m_pid, SIGTERM); }

    // Where the access log ends now, for LinesSince.
    std::size_t Mark() const {
        std::error_code ec;
        auto size = std::filesystem::file_size(m_dir / "access.log", ec);
        return ec ? 0 : static_cast<std::size_t>(size);
    }
    // The lines logged after mark. nginx logs a request just after its
    // answer went out, so a client may be a moment ahead: this waits (up to
    // 2 s) until at least atLeast lines are there.
    std::vector<AccessLine> LinesSince(std::size_t mark, std::size_t atLeast = 0) const {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (;;) {
            auto lines = ReadLines(mark);
            if (lines.size() >= atLeast || std::chrono::steady_clock::now() > until)
                return lines;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string LogTail(int lines = 30) const {
        std::string text;
        for (const char* log : {"startup.log", "error.log", "access.log"})
            text += TailOfFile(m_dir / log, lines);
        return text;
    }

private:
    bool MakeCertificates() {
        const std::string d = m_dir.path() + "/";
        const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        auto req = [&](std::vector<std::string> args) {
            args.insert(args.begin(), {"/usr/bin/openssl", "req"});
            args.insert(args.begin() + 2, ec.begin(), ec.end());
            return RunQuietly(args);
        };
        std::string sans;
        for (const auto& name : SandboxHostNames())
            if (name != "untrusted.example.test" && name != "wrongname.example.test")
                sans += (sans.empty() ? "DNS:" : ",DNS:") + name;
        std::ofstream(d + "server.ext") << "subjectAltName=" << sans
                                        << "\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                                           "extendedKeyUsage=serverAuth\n";
        return req({"-x509", "-days", "3", "-subj", "/CN=Zelvor link check test CA", "-addext",
                    "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                    "-keyout", d + "ca.key", "-out", d + "ca.pem"}) &&
               req({"-subj", "/CN=ads.example.test", "-keyout", d + "server.key", "-out", d + "server.csr"}) &&
               RunQuietly({"/usr/bin/openssl", "x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey",
                           d + "ca.key", "-set_serial", "2", "-days", "3", "-extfile", d + "server.ext", "-out",
                           d + "server.pem"}) &&
               req({"-x509", "-days", "3", "-subj", "/CN=untrusted.example.test", "-addext",
                    "subjectAltName=DNS:untrusted.example.test", "-keyout", d + "untrusted.key", "-out",
                    d + "untrusted.pem"});
    }

    void Write(const std::string& path, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    void WriteSites() {
        const std::string w = m_dir.path() + "/www/";
        const std::string page = "<!DOCTYPE html><html><head><title>t</title></head><body>ok</body></html>\n";
        for (const char* file : {"ads/index.html", "ads/page.html", "ads/other.html", "ads/nohead.html",
                                 "img/page.html", "other/index.html", "other/page.html"})
            Write(w + file, page);
        Write(w + "img/468x60.png", images::Png(468, 60));
        Write(w + "img/120x90.png", images::Png(120, 90));
        Write(w + "img/300x250.gif", images::Gif(300, 250));
        Write(w + "img/1x1.gif", images::Gif(1, 1));
        Write(w + "img/empty.gif", "");
        Write(w + "img/httponly/120x90.gif", images::Gif(120, 90));
        Write(w + "bench/pixel.gif", images::Gif(468, 60));
        std::filesystem::create_directories(m_dir / "temp");
    }

    void WriteConfig() {
        const std::string d = m_dir.path() + "/";
        const std::string both = "    listen 127.0.0.1:80;\n    listen 127.0.0.1:443 ssl;\n";
        const std::string quarter = "    location /s/ { default_type text/plain; echo_sleep 0.3; echo ok; }\n";
        std::ofstream conf(d + "nginx.conf");
        conf << "load_module " << Root() << "usr/lib/nginx/modules/ngx_http_echo_module.so;\n"
             << "daemon off;\nmaster_process off;\npid " << d << "nginx.pid;\nerror_log " << d << "error.log info;\n"
             << "events { worker_connections 1024; }\n"
             << "http {\n"
             << "  types { text/html html; image/png png; image/gif gif; image/jpeg jpg; }\n"
             << "  default_type application/octet-stream;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << temp << "_temp_path " << d << "temp/" << temp << ";\n";
        conf << "  log_format probe '$msec\\t$request_time\\t$scheme\\t$host\\t$request_method\\t$request_uri\\t"
                "$status\\t$http_user_agent\\t$http_cookie\\t$connection';\n"
             << "  access_log " << d << "access.log probe;\n"
             << "  ssl_certificate " << d << "server.pem;\n  ssl_certificate_key " << d << "server.key;\n"
             // ads.example.test answers whatever no other server is named for.
             << "  server {\n    listen 127.0.0.1:80 default_server;\n    listen 127.0.0.1:443 ssl default_server;\n"
             << "    server_name ads.example.test;\n    root " << d << "www/ads;\n"
             << "    location = /removed { return 410; }\n"
             << "    location = /broken { return 500; }\n"
             << "    location = /end { return 302 http://other.example.test/; }\n"
             << "    location = /home { return 302 /; }\n"
             << "    location = /away { return 301 http://other.example.test/page.html; }\n"
             << "    location = /cookie { add_header Set-Cookie \"visitor=abc123; Path=/\"; return 302 /index.html; }\n"
             << "    location = /nohead.html { if ($request_method = HEAD) { return 405; } }\n"
             << "    location = /slow { default_type text/html; echo_sleep 3.5; echo late; }\n"
             // https:// sends the visitor back to http://: no https twin.
             << "    location = /bounce.html { if ($scheme = https) { return 301 http://ads.example.test/bounce.html; }"
                " try_files /page.html =404; }\n"
             << "    location /long/ { default_type text/html; echo_sleep 10; echo late; }\n"
             << quarter << "  }\n"
             << "  server {\n" << both << "    server_name img.example.test;\n    root " << d << "www/img;\n"
             << "    location = /broken.png { return 500; }\n"
             // A type with bytes no terminal or JSON should get.
             << "    location = /odd-type { default_type \"text/\xc3\xa9\x1b[31m\"; return 200 \"<p>x</p>\"; }\n"
             << "    location = /r1 { return 301 /r2; }\n"
             << "    location = /r2 { return 302 /468x60.png; }\n"
             << "    location /httponly/ { if ($scheme = https) { return 404; } }\n"
             << quarter << "  }\n"
             << "  server {\n" << both << "    server_name other.example.test;\n    root " << d << "www/other;\n"
             << quarter << "  }\n"
             << "  server {\n    listen 127.0.0.1:443 ssl;\n    server_name untrusted.example.test;\n"
             << "    ssl_certificate " << d << "untrusted.pem;\n    ssl_certificate_key " << d << "untrusted.key;\n"
             << "    root " << d << "www/other;\n  }\n"
             << "  server {\n" << both << "    server_name ~^h\\d\\d\\.bench\\.test$;\n    root " << d
             << "www/bench;\n"
             << "    location /a/ { default_type text/html; echo_sleep 0.05; echo ok; }\n"
             << "    location /i/ { echo_sleep 0.05; echo_exec /pixel.gif; }\n  }\n"
             << "}\n";
    }

    std::vector<AccessLine> ReadLines(std::size_t mark) const {
        std::ifstream in(m_dir / "access.log", std::ios::binary);
        in.seekg(static_cast<std::streamoff>(mark));
        std::vector<AccessLine> lines;
        for (std::string text; std::getline(in, text);) {
            std::vector<std::string> f;
            for (std::size_t from = 0;;) {
                auto tab = text.find('\t', from);
                f.push_back(text.substr(from, tab - from));
                if (tab == std::string::npos)
                    break;
                from = tab + 1;
            }
            if (f.size() != 10 || in.eof()) // a line still being written
                break;
            AccessLine line;
            line.end = std::atof(f[0].c_str());
            line.start = line.end - std::atof(f[1].c_str());
            line.scheme = f[2];
            line.host = f[3];
            line.method = f[4];
            line.uri = f[5];
            line.status = std::atoi(f[6].c_str());
            line.userAgent = f[7];
            line.cookie = f[8];
            line.connection = std::atol(f[9].c_str());
            lines.push_back(std::move(line));
        }
        return lines;
    }

    TempDir m_dir;
    std::string m_failure;
    pid_t m_pid = -1;
};

} // namespace testutil
