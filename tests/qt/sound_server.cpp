#include "tests/qt/sound_server.h"

#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace lq::testing {

namespace {

constexpr const char* kSink = "lqtest";

// Polls `done` every 20 ms until it holds or `seconds` have passed.
bool WaitUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QThread::msleep(20);
  }
  return true;
}

}  // namespace

std::string SoundServer::Missing() {
  std::string missing;
  for (const char* tool : {"pulseaudio", "pactl", "parec"}) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
      missing += missing.empty() ? tool : std::string(", ") + tool;
    }
  }
  return missing;
}

SoundServer::SoundServer() {
  const QString d = dir_.path();
  for (const char* sub : {"/run", "/state", "/config"}) mkdir(qPrintable(d + sub), 0700);
  mkdir(qPrintable(d + "/xdg"), 0700);
  QFile conf(d + "/client.conf");
  if (conf.open(QIODevice::WriteOnly)) conf.write("autospawn = no\n");
  conf.close();
  // This process's sound client connects here from now on.
  for (const auto& [name, value] : ClientEnvironment()) {
    const char* old = std::getenv(name.c_str());
    saved_env_.emplace_back(name, old != nullptr ? old : std::string("\x01"));
    setenv(name.c_str(), qPrintable(value), 1);
  }
}

std::vector<std::pair<std::string, QString>> SoundServer::ClientEnvironment() const {
  const QString d = dir_.path();
  return {
      {"PULSE_SERVER", "unix:" + d + "/native"},
      {"PULSE_COOKIE", d + "/cookie"},
      {"PULSE_CLIENTCONFIG", d + "/client.conf"},
      {"PULSE_RUNTIME_PATH", d + "/run"},
      {"PULSE_STATE_PATH", d + "/state"},
      {"PULSE_SINK", QString::fromLatin1(kSink)},
  };
}

SoundServer::~SoundServer() {
  if (capture_ != nullptr) StopCapture();
  Thaw();
  Kill();
  for (const auto& [name, value] : saved_env_) {
    if (value == "\x01") {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
}

QProcessEnvironment SoundServer::Environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString d = dir_.path();
  for (const auto& [name, value] : ClientEnvironment()) {
    env.insert(QString::fromStdString(name), value);
  }
  env.insert("XDG_CONFIG_HOME", d + "/config");
  env.insert("XDG_RUNTIME_DIR", d + "/xdg");
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + d + "/no-session-bus");
  return env;
}

bool SoundServer::Pactl(const QStringList& args, QByteArray* out) {
  QProcess pactl;
  pactl.setProcessEnvironment(Environment());
  pactl.start("pactl", args);
  if (!pactl.waitForFinished(20000)) {
    pactl.kill();
    pactl.waitForFinished();
    return false;
  }
  if (out != nullptr) *out = pactl.readAllStandardOutput();
  return pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
}

bool SoundServer::Start(std::string* error) {
  Kill();
  const QString d = dir_.path();
  server_ = std::make_unique<QProcess>();
  server_->setProcessEnvironment(Environment());
  server_->setStandardOutputFile(QProcess::nullDevice());
  server_->setStandardErrorFile(d + "/pulseaudio.log", QIODevice::Append);
  server_->start(
      "pulseaudio",
      {"-n", "--daemonize=no", "--system=no", "--use-pid-file=no", "--exit-idle-time=-1",
       "--disallow-exit=yes", "--disallow-module-loading=yes", "--realtime=no",
       "--high-priority=no", "--disable-shm=yes", "--log-target=stderr",
       "--log-level=notice", "-L",
       // Without rewinds: the null sink would take back audio its monitor
       // was already given, and its drains come late.
       QString("module-null-sink sink_name=%1 rate=22050 channels=1 format=s16le "
               "norewinds=1")
           .arg(QString::fromLatin1(kSink)),
       "-L", "module-native-protocol-unix socket=" + d + "/native auth-anonymous=1"});
  if (!server_->waitForStarted(20000)) {
    if (error != nullptr) *error = "pulseaudio does not start";
    return false;
  }
  const bool up = WaitUntil(
      [&] {
        QByteArray out;
        return server_->state() == QProcess::Running &&
               Pactl({"list", "short", "sinks"}, &out) && out.contains(kSink);
      },
      30);
  if (!up && error != nullptr) {
    QFile log(d + "/pulseaudio.log");
    log.open(QIODevice::ReadOnly);
    *error = "the private sound server did not come up: " + log.readAll().toStdString();
  }
  return up;
}

void SoundServer::Kill() {
  if (server_ == nullptr) return;
  if (server_->state() != QProcess::NotRunning) {
    ::kill(static_cast<pid_t>(server_->processId()), SIGKILL);
    server_->waitForFinished(20000);
  }
  server_.reset();
}

void SoundServer::Freeze() {
  if (server_ != nullptr) ::kill(static_cast<pid_t>(server_->processId()), SIGSTOP);
}

void SoundServer::Thaw() {
  if (server_ != nullptr) ::kill(static_cast<pid_t>(server_->processId()), SIGCONT);
}

bool SoundServer::StartCapture(std::string* error) {
  const QString file = dir_.path() + "/capture.raw";
  QFile::remove(file);
  capture_ = std::make_unique<QProcess>();
  capture_->setProcessEnvironment(Environment());
  capture_->setStandardOutputFile(file);
  capture_->setStandardErrorFile(QProcess::nullDevice());
  capture_->start("parec", {"--device=" + QString::fromLatin1(kSink) + ".monitor", "--raw",
                            "--format=s16le", "--rate=22050", "--channels=1",
                            "--latency-msec=20"});
  if (!capture_->waitForStarted(20000)) {
    if (error != nullptr) *error = "parec does not start";
    return false;
  }
  const bool recording = WaitUntil(
      [&] {
        QByteArray out;
        return capture_->state() == QProcess::Running &&
               Pactl({"list", "short", "source-outputs"}, &out) && !out.trimmed().isEmpty();
      },
      30);
  if (!recording && error != nullptr) *error = "parec does not record the sink";
  return recording;
}

std::vector<std::int16_t> SoundServer::StopCapture() {
  if (capture_ != nullptr) {
    capture_->terminate();
    if (!capture_->waitForFinished(20000)) {
      capture_->kill();
      capture_->waitForFinished();
    }
    capture_.reset();
  }
  return Captured();
}

std::vector<std::int16_t> SoundServer::Captured() const {
  QFile file(dir_.path() + "/capture.raw");
  std::vector<std::int16_t> samples;
  if (!file.open(QIODevice::ReadOnly)) return samples;
  const QByteArray bytes = file.readAll();
  samples.resize(static_cast<std::size_t>(bytes.size()) / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto lo = static_cast<unsigned char>(bytes[static_cast<qsizetype>(2 * i)]);
    const auto hi = static_cast<unsigned char>(bytes[static_cast<qsizetype>(2 * i + 1)]);
    samples[i] = static_cast<std::int16_t>(lo | hi << 8);
  }
  return samples;
}

std::vector<std::string> SoundServer::SinkInputs() {
  QByteArray out;
  std::vector<std::string> lines;
  if (!Pactl({"list", "short", "sink-inputs"}, &out)) return lines;
  for (const QByteArray& line : out.split('\n')) {
    if (!line.trimmed().isEmpty()) lines.push_back(line.toStdString());
  }
  return lines;
}

bool Contains(const std::vector<std::int16_t>& capture,
              const std::vector<std::int16_t>& samples) {
  if (samples.empty()) return true;
  return std::search(capture.begin(), capture.end(),
                     std::boyer_moore_horspool_searcher(samples.begin(), samples.end())) !=
         capture.end();
}

}  // namespace lq::testing
