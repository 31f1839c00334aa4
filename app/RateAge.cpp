#include "app/RateAge.h"

#include <QDateTime>
#include <QLabel>
#include <QTimeZone>

#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"

namespace quorvane {

namespace {

// The ECB gives its publication time in CET; the time it is read for is held there all year.
QString EcbTimeText(std::int64_t asOf) {
    return QDateTime::fromSecsSinceEpoch(asOf, Qt::UTC)
               .toTimeZone(QTimeZone(3600))
               .toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral(" CET");
}

QString LocalTimeText(std::int64_t asOf) {
    return QDateTime::fromSecsSinceEpoch(asOf).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString RateAgeText(const SlotAge& age) {
    if (!age.known)
        return {};
    QString text;
    if (age.source == "ecb")
        text = U("ECB参照レート ") + EcbTimeText(age.asOf);
    else if (age.source == "coinbase")
        text = U("リアルタイム（Coinbase）") + LocalTimeText(age.asOf);
    else if (age.source == "simulated")
        text = U("シミュレーション ") + LocalTimeText(age.asOf);
    else
        text = Qs(age.source) + QLatin1Char(' ') + LocalTimeText(age.asOf);
    if (age.asOf <= 0)
        text = text.section(QLatin1Char(' '), 0, 0) + U(" 時刻不明");
    else
        text += U(" 時点");
    if (age.stale)
        text += U("\n取得元の通常の更新より古いレートです");
    return text;
}

QWidget* MakeRateAgeBadge(QWidget* group, int n) {
    auto* badge = new QLabel(U("旧"), group);
    badge->setObjectName(QStringLiteral("LB_S") + QString::number(n));
    badge->setAccessibleName(U("古いレート"));
    badge->setFont(ProgramFont(11));
    badge->setAlignment(Qt::AlignCenter);
    // Grey, so that it reads apart from the green, red and black of the change.
    badge->setStyleSheet(QStringLiteral("QLabel { color: white; background: #808080; border-radius: 3px; }"));
    badge->setGeometry(191, 13, 16, 16);
    badge->setVisible(false);
    return badge;
}

void ShowRateAge(TLabel* rate, QWidget* badge, const SlotAge& age) {
    const QString text = RateAgeText(age);
    const bool stale = age.known && age.stale;
    if (rate) {
        QFont font = rate->font();
        font.setItalic(stale);
        rate->setFont(font);
        rate->setToolTip(text);
    }
    if (badge) {
        badge->setToolTip(text);
        badge->setVisible(stale);
    }
}

} // namespace quorvane
