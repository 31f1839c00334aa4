// Unit5: the pair display dialog — which slots the main window shows and monitors.
#pragma once

#include <QColor>
#include <QDialog>

#include "app/toolkit/DialogLinks.h"

namespace quorvane {

class TCheckBox;

// True only while the dialog fills its check boxes.
extern bool SettingUp;

class TForm5 : public QDialog, public PairDialogLink {
    Q_OBJECT
public:
    // mainWindow: what the dialog needs of the main window; none in tests that do without it.
    explicit TForm5(MainWindowLink* mainWindow = nullptr, QWidget* parent = nullptr);

    // PairDialogLink
    void ShowModeless() override;

    void SetTitles();
    void SetLabel(const QString& name, const QString& text, const QColor& colour);
    void SetCheck(const QString& name, bool value);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void CB_EClick(TCheckBox* sender);
    void BT_EDITClick();
    void BT_OKClick();

    bool centred_ = false;
    const QuoteTable& Slots() const;
    MainWindowLink* mainWindow_ = nullptr;
};

} // namespace quorvane
