// The main window under test: settings in a fresh folder, messages recorded, the window
// built (and shown when asked), and the controls found by their names.
#pragma once

#include "file_commands.h"
#include "frmMain_Intermod.h"
#include "results_model.h"
#include "widget_support.h"

#include <memory>

namespace testing {

class MainWindowFixture {
  protected:
    void openWindow(bool show = true) {
        settings_ = std::make_unique<TempSettings>();
        log_ = std::make_unique<MessageLog>();
        window_ = std::make_unique<kim::frmMain_Intermod>();
        if (!show) return;
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    void closeWindow() {
        kim::setFileDialogHook(nullptr);
        window_.reset();
        log_.reset();
        settings_.reset();
    }

    kim::frmMain_Intermod& w() { return *window_; }
    template <class T> T* child(const char* name) {
        T* c = window_->findChild<T*>(name);
        if (!c) qWarning("no child %s", name);
        return c;
    }
    QStringList items(const char* list) { return listItems(child<QListWidget>(list)); }
    QStringList resultLines() {
        QStringList out;
        const auto* m = window_->results();
        for (int i = 0; i < m->rowCount(); ++i)
            out << m->lineText(i);
        return out;
    }

    std::unique_ptr<TempSettings> settings_;
    std::unique_ptr<MessageLog> log_;
    std::unique_ptr<kim::frmMain_Intermod> window_;
};

} // namespace testing
