#include "WebBrowser.h"

#include <QVBoxLayout>
#include <QWebEngineView>

namespace {
bool engineOn = false;
}

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void TWebBrowser::setEngineEnabled(bool enabled)
{
    engineOn = enabled;
}

void TWebBrowser::Navigate(const QUrl& address)
{
    location_ = address;
    if (engineOn) {
        if (!view_) {
            view_ = new QWebEngineView(this);
            layout()->addWidget(view_);
        }
        view_->setUrl(address);
    }
    emit navigated(address);
}
