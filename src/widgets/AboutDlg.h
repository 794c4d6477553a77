#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDlg;
}
class CLinkLabel;
class QPushButton;

// The about box: name and version, four usage tips and a link to the product's
// web page. Enter does nothing; the button ends it as accepted, Esc and the
// close box as rejected.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    CLinkLabel* link() const;
    QPushButton* okButton() const;

protected:
    void setVisible(bool visible) override;

private:
    void OnInitDialog();

    std::unique_ptr<Ui::AboutDlg> m_ui;
    bool m_initialised = false;
};
