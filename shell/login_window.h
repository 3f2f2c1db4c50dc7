// The login window `session`: asks for the user's name, stores it as
// option/option/util and opens the main window.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmor {

class MainWindow;

class LoginWindow : public QWidget {
    Q_OBJECT
public:
    // `setUpMainWindow` runs once on the main window right after it was
    // created and before it is shown (the application connects the toolbar
    // and menus of the other layers there).
    explicit LoginWindow(std::function<void(MainWindow&)> setUpMainWindow = {},
                         QWidget* parent = nullptr);
    ~LoginWindow() override;

    QLabel* nomutilisateur = nullptr;
    QLineEdit* entreesaisie = nullptr;
    QPushButton* okutilisateur = nullptr;

    // The main window, once a name was confirmed; nullptr before.
    MainWindow* mainWindow() const { return mainWindow_.get(); }

public slots:
    // "ok" or Enter.
    void confirm();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void(MainWindow&)> setUpMainWindow_;
    std::unique_ptr<MainWindow> mainWindow_;
};

} // namespace velmor
