#include "load/NginxReference.h"

#include "load/ServerRig.h"

#include <filesystem>
#include <fstream>

namespace load {

namespace fs = std::filesystem;

namespace {

// Every path nginx would write to goes into the run's folder.
void WriteConfiguration(const std::string& dir, unsigned short port, const std::string& certificate,
                        const std::string& key)
{
    std::ofstream conf(dir + "/nginx.conf");
    conf << "worker_processes 1;\nworker_rlimit_nofile 16384;\ndaemon off;\npid " << dir << "/nginx.pid;\n"
         << "error_log " << dir << "/error.log;\nevents { worker_connections 8192; }\nhttp {\n"
         << "  access_log off;\n  default_type application/json;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        conf << "  " << temp << "_temp_path " << dir << "/" << temp << ";\n";
    conf << "  server {\n    listen 127.0.0.1:" << port << " ssl;\n    ssl_certificate " << certificate
         << ";\n    ssl_certificate_key " << key << ";\n    ssl_protocols TLSv1.2 TLSv1.3;\n"
         // The service sends no session tickets (the program never resumes): the same handshake here.
         << "    ssl_conf_command NumTickets 0;\n"
         << "    root " << dir << "/www;\n  }\n}\n";
}

}  // namespace

NginxReference::NginxReference(const std::string& certificate, const std::string& key, const std::string& reply)
    : folder_(MakeRunFolder("nginx"))
{
    if (folder_.empty())
        return;
    // nginx's worker may run as another user: it must reach the files, and
    // the key is copied so the service's data folder stays private.
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(folder_ + "/www");
    std::ofstream(folder_ + "/www" + Path()) << reply;
    std::error_code ec;
    fs::copy_file(certificate, folder_ + "/cert.pem", ec);
    fs::copy_file(key, folder_ + "/key.pem", ec);
    const unsigned short port = FreePort();
    WriteConfiguration(folder_, port, folder_ + "/cert.pem", folder_ + "/key.pem");
    process_ = std::make_unique<ProcessUnderTest>(
        std::vector<std::string>{"nginx", "-p", folder_, "-c", folder_ + "/nginx.conf", "-e", folder_ + "/error.log"},
        folder_ + "/nginx.out");
    if (WaitForPort(port, 10000))
        port_ = port;
}

NginxReference::~NginxReference()
{
    process_.reset();
    std::error_code ec;
    if (!folder_.empty())
        fs::remove_all(folder_, ec);
}

}  // namespace load
