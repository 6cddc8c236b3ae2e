// Launch feedback: a socket the started program reports to ("launched": the 4-byte value 289),
// and the life counter that ends the feedback after 800 ticks of 0.05 s when no report comes.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace larkhost {

constexpr uint32_t kLaunchNotifyValue = 289;
constexpr int kFeedbackTickMs = 50;
constexpr int kFeedbackMaxTicks = 800;
constexpr int kFeedbackEnded = 0x7FFFFFFF;

class LaunchFeedbackInfo {
  public:
    // Sets up the socket in `directory` (the temporary folder when empty) and accepts one
    // connection in the background; null after logging "%s: failed to set up socket; errno %d".
    static std::unique_ptr<LaunchFeedbackInfo> Start(const std::string& icon,
                                                     const std::string& directory = "");
    ~LaunchFeedbackInfo();  // removes the socket file
    LaunchFeedbackInfo(const LaunchFeedbackInfo&) = delete;
    LaunchFeedbackInfo& operator=(const LaunchFeedbackInfo&) = delete;

    const std::string& SocketPath() const { return m_path; }
    const std::string& Icon() const { return m_icon; }
    bool Notified() const { return m_notified.load(); }
    int Life() const { return m_life; }
    void Age() {
        if (m_life < kFeedbackEnded) ++m_life;
    }
    // Ends the feedback at the next tick.
    void End() { m_life = kFeedbackEnded; }

  private:
    LaunchFeedbackInfo() = default;
    void AcceptOne();

    std::string m_path;
    std::string m_icon;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    int m_life = 0;
    std::atomic<bool> m_notified{false};
    std::thread m_thread;
};

// The pending launches and what one timer tick does with them.
class LaunchFeedbackList {
  public:
    void Add(LaunchFeedbackInfo* info) { m_pending.push_back(info); }
    void Remove(LaunchFeedbackInfo* info);
    bool Empty() const { return m_pending.empty(); }
    size_t Count() const { return m_pending.size(); }

    // One tick: answers whether any launch still wants feedback drawn (not notified, life at
    // most 800); then ages every launch and drops the notified ones and those past 800.
    bool Tick();

  private:
    std::vector<LaunchFeedbackInfo*> m_pending;
};

}  // namespace larkhost
