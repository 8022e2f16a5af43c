#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineView;

// An embedded web browser. The engine behind it starts with the first navigation, so a window
// that never shows a page never starts one; programs that are not allowed to start a browser
// (the tests, the screenshot tool) switch the engine off and see only the addresses asked for.
class TWebBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit TWebBrowser(QWidget* parent = nullptr);

    static void setEngineEnabled(bool enabled);

    // Opens address; the page loads in the background.
    void Navigate(const QUrl& address);
    const QUrl& location() const { return location_; }

signals:
    void navigated(const QUrl& address);

private:
    QWebEngineView* view_ = nullptr;
    QUrl location_;
};
