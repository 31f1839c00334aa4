#include "app/toolkit/Keyring.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <optional>

namespace quorvane {

namespace {

// Starts job and waits for its answer within bound; none when the bound passed first. The job deletes
// itself when it finishes, late or not; the loop is the connection's context, so a late answer reaches
// nothing of ours.
std::optional<QKeychain::Error> Run(QKeychain::Job* job, const std::string& key,
                                    std::chrono::milliseconds bound, QString* text = nullptr) {
    job->setKey(QString::fromStdString(key));
    job->setInsecureFallback(false);
    QEventLoop loop;
    std::optional<QKeychain::Error> answer;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        answer = done->error();
        if (text != nullptr && done->error() == QKeychain::NoError)
            *text = static_cast<QKeychain::ReadPasswordJob*>(done)->textData();
        loop.quit();
    });
    QTimer::singleShot(bound, &loop, &QEventLoop::quit);
    job->start();
    if (!answer)
        loop.exec();
    return answer;
}

const QString Service = QString::fromUtf8(PasswordServiceName.data(), PasswordServiceName.size());

} // namespace

SecretRead Keyring::Read(const std::string& key) {
    if (gone_)
        return {};
    QString text;
    const auto answer = Run(new QKeychain::ReadPasswordJob(Service), key, bound_, &text);
    gone_ = !answer;
    if (answer == QKeychain::NoError)
        return {SecretAnswer::Found, text.toStdString()};
    if (answer == QKeychain::EntryNotFound)
        return {SecretAnswer::Missing, ""};
    return {};
}

bool Keyring::Write(const std::string& key, const std::string& secret) {
    if (gone_)
        return false;
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setTextData(QString::fromStdString(secret));
    const auto answer = Run(job, key, bound_);
    gone_ = !answer;
    return answer == QKeychain::NoError;
}

bool Keyring::Remove(const std::string& key) {
    if (gone_)
        return false;
    const auto answer = Run(new QKeychain::DeletePasswordJob(Service), key, bound_);
    gone_ = !answer;
    return answer == QKeychain::NoError || answer == QKeychain::EntryNotFound;
}

} // namespace quorvane
