// Drives the mail module for the tests against real servers:
//   mail_probe test-mail OPTIONS...              the settings dialog's test mail (quorvanectl test-mail)
//   mail_probe send HOST:PORT SUBJECT FROM TO BODY_FILE   one silent mail with the given texts
#include "mail/Mail.h"
#include "tools/TestMailCommand.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "test-mail")
        return quorvane::RunTestMail(argc - 1, argv + 1, std::cout, std::cerr);
    if (command != "send" || argc != 7) {
        std::cerr << "usage: mail_probe test-mail OPTIONS | send HOST:PORT SUBJECT FROM TO BODY_FILE\n";
        return 2;
    }
    const std::string server = argv[2];
    const std::size_t colon = server.rfind(':');
    quorvane::TSMTP smtp{std::stoi(server.substr(colon + 1)), server.substr(0, colon), "", ""};
    quorvane::CreateMailClients(smtp, quorvane::TPOP{});
    std::ifstream file(argv[6], std::ios::binary);
    std::stringstream body;
    body << file.rdbuf();
    const quorvane::MailResult result = quorvane::SendMail(argv[3], argv[4], argv[5], body.str(), nullptr);
    if (result.step == "Address")
        std::cout << "error: " << result.reason << std::endl;
    else
        std::cout << (result ? "sent" : "failed") << std::endl;
    return result ? 0 : 1;
}
