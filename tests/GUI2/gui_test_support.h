// What the wizard tests share: a picture of each window they show, and a way to
// answer a modal dialog that the code under test opens and waits for.
#pragma once

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

// Saves <screens>/<name>.png.
inline void save_screen(QWidget& widget, const QString& name)
{
  const QString dir = QStringLiteral(QVT_SCREENS_DIR);
  QDir().mkpath(dir);
  widget.adjustSize();
  EXPECT_TRUE(widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

// Runs the action on the next modal window once it is up (polling the event
// loop it runs in); the action should close it.
inline void when_modal_shows(std::function<void(QWidget&)> action)
{
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
      return;
    timer->stop();
    timer->deleteLater();
    action(*modal);
  });
  timer->start();
}
