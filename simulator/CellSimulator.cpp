#include "simulator/CellSimulator.h"

#include "simulator/SimControl.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <iostream>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kIdlePollMs = 20;
constexpr size_t kMaxLineBytes = 4096;
} // namespace

TCellSimulator::TCellSimulator(TSimOptions options)
    : fOptions(std::move(options)), fCell(fOptions.cell), fSmu(fCell), fDmm(fCell), fSpeed(fOptions.speed),
      fSlowReplyMs(fOptions.slowReplyMs) {
    fSmuChannel.id = TInstrumentId::Smu;
    fSmuChannel.instrument = &fSmu;
    fSmuChannel.baud = fOptions.smuBaud;
    fDmmChannel.id = TInstrumentId::Dmm;
    fDmmChannel.instrument = &fDmm;
    fDmmChannel.baud = fOptions.dmmBaud;
    fGarbageRandom.seed(static_cast<unsigned>(fOptions.cell.seed * 7919 + 17));
}

TCellSimulator::~TCellSimulator() {
    Stop();
}

std::string TCellSimulator::LinkPathFor(const std::string& name) const {
    return name.find('/') != std::string::npos ? name : fRunDir + "/" + name;
}

bool TCellSimulator::Start(std::string& error) {
    if (IsRunning())
        return true;
    if (fOptions.runDir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ondrix-cellsim-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            error = "cannot create a run folder: " + std::string(std::strerror(errno));
            return false;
        }
        fRunDir = pattern;
        fOwnRunDir = true;
    } else {
        fRunDir = fOptions.runDir;
        if (::mkdir(fRunDir.c_str(), 0755) == 0) {
            fOwnRunDir = true; // made here, so removed again at the end
        } else if (errno != EEXIST) {
            error = "cannot create " + fRunDir + ": " + std::strerror(errno);
            return false;
        }
        // The printed port paths must work from any current directory.
        if (char* absolute = ::realpath(fRunDir.c_str(), nullptr)) {
            fRunDir = absolute;
            std::free(absolute);
        }
    }
    fSmuChannel.port = std::make_unique<TSimPort>(LinkPathFor(fOptions.smuLink), fOptions.smuBaud);
    fDmmChannel.port = std::make_unique<TSimPort>(LinkPathFor(fOptions.dmmLink), fOptions.dmmBaud);
    if (!fSmuChannel.port->Open(error) || !fDmmChannel.port->Open(error)) {
        Stop();
        return false;
    }
    if (fOptions.controlFifo) {
        fControlPath = fRunDir + "/control";
        ::unlink(fControlPath.c_str());
        if (::mkfifo(fControlPath.c_str(), 0600) != 0) {
            error = "cannot create " + fControlPath + ": " + std::strerror(errno);
            Stop();
            return false;
        }
        fControlFd = ::open(fControlPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Our own writer keeps the FIFO from reporting end-of-file between two writers.
        fControlKeepFd = ::open(fControlPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    }
    fWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    for (const auto& [id, fault] : fOptions.faults) {
        Channel(id).instrument->Faults().Set(fault, true);
        if (fault == TFault::Vanished)
            ApplyVanish(Channel(id), true);
    }
    fStopRequested = false;
    fPhysicsTime = TClock::now();
    for (const TScheduledPowerCycle& c : fOptions.powerCycles) {
        TChannel& ch = Channel(c.id);
        ch.scheduledCycleAt = fPhysicsTime + std::chrono::milliseconds(c.afterMs);
        ch.cycleOffMs = c.offMs;
        ch.cycleUnplug = c.unplug;
    }
    fThread = std::thread([this] { Loop(); });
    return true;
}

void TCellSimulator::Stop() {
    if (fThread.joinable()) {
        fStopRequested = true;
        Wake();
        fThread.join();
    }
    RunTasks();
    for (TChannel* ch : {&fSmuChannel, &fDmmChannel}) {
        if (ch->port)
            ch->port->Close();
        ch->pending.clear();
    }
    for (int* fd : {&fControlFd, &fControlKeepFd, &fWakeFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (!fControlPath.empty())
        ::unlink(fControlPath.c_str());
    fControlPath.clear();
    if (!fRunDir.empty()) {
        ::unlink((fRunDir + "/status").c_str());
        if (fOwnRunDir)
            ::rmdir(fRunDir.c_str());
    }
    fOwnRunDir = false;
}

std::string TCellSimulator::PortPath(TInstrumentId id) const {
    const TChannel& ch = id == TInstrumentId::Smu ? fSmuChannel : fDmmChannel;
    return ch.port ? ch.port->LinkPath() : std::string();
}

std::string TCellSimulator::ControlPath() const {
    return fControlPath;
}

void TCellSimulator::Wake() {
    if (fWakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(fWakeFd, &one, sizeof one);
    }
}

void TCellSimulator::RunInLoop(const std::function<void()>& fn) {
    if (!fThread.joinable() || std::this_thread::get_id() == fThread.get_id()) {
        fn();
        return;
    }
    auto task = std::make_shared<std::packaged_task<void()>>(fn);
    std::future<void> done = task->get_future();
    {
        std::lock_guard<std::mutex> lock(fTaskMutex);
        fTasks.emplace_back([task] { (*task)(); });
    }
    Wake();
    done.wait();
}

void TCellSimulator::RunTasks() {
    while (true) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(fTaskMutex);
            if (fTasks.empty())
                return;
            task = std::move(fTasks.front());
            fTasks.pop_front();
        }
        task();
    }
}

void TCellSimulator::SetFault(TInstrumentId id, TFault fault, bool on) {
    RunInLoop([&] {
        TChannel& ch = Channel(id);
        const bool was = ch.instrument->Faults().Get(fault);
        ch.instrument->Faults().Set(fault, on);
        if (fault == TFault::Vanished && was != on)
            ApplyVanish(ch, on);
    });
}

void TCellSimulator::PowerCycle(TInstrumentId id, int offMs, bool unplug) {
    RunInLoop([&] { SwitchOff(Channel(id), TClock::now(), offMs, unplug); });
}

bool TCellSimulator::IsPoweredOff(TInstrumentId id) {
    bool off = false;
    RunInLoop([&] { off = Channel(id).poweredOff; });
    return off;
}

void TCellSimulator::SwitchOff(TChannel& ch, TClock::time_point now, int offMs, bool unplug) {
    AdvancePhysics(now);
    // The output drops with the mains; what was on its way is lost.
    ch.instrument->PowerOn();
    fCell.SetPumpDrive(fSmu.Drive());
    ch.pending.clear();
    ch.input.clear();
    ch.readyAt = now;
    ch.poweredOff = true;
    ch.powerOnAt = now + std::chrono::milliseconds(std::max(0, offMs));
    if (unplug && ch.port && ch.port->IsOpen()) {
        ch.port->Close();
        ch.unplugged = true;
    }
}

// Starts a scheduled power cycle and ends one whose off time is over.
void TCellSimulator::PowerCycleDue(TChannel& ch, TClock::time_point now) {
    if (ch.scheduledCycleAt && now >= *ch.scheduledCycleAt) {
        ch.scheduledCycleAt.reset();
        SwitchOff(ch, now, ch.cycleOffMs, ch.cycleUnplug);
    }
    if (!ch.poweredOff || now < ch.powerOnAt)
        return;
    ch.poweredOff = false;
    ch.instrument->PowerOn();
    ch.input.clear();
    if (ch.unplugged) {
        ch.unplugged = false;
        // A port that vanished meanwhile stays away until that fault is cleared.
        if (!ch.instrument->Faults().Get(TFault::Vanished))
            ApplyVanish(ch, false);
    }
}

void TCellSimulator::ClearFaults(TInstrumentId id) {
    for (TFault f : TInstrumentFaults::All())
        SetFault(id, f, false);
}

TInstrumentFaults TCellSimulator::Faults(TInstrumentId id) {
    TInstrumentFaults faults;
    RunInLoop([&] { faults = Channel(id).instrument->Faults(); });
    return faults;
}

void TCellSimulator::SetSlowReplyMs(int ms) {
    RunInLoop([&] { fSlowReplyMs = std::max(0, ms); });
}

void TCellSimulator::SetSpeed(double speed) {
    RunInLoop([&] {
        AdvancePhysics(TClock::now());
        fSpeed = std::max(0.0, speed);
    });
}

TPortStats TCellSimulator::Stats(TInstrumentId id) {
    TPortStats stats;
    RunInLoop([&] {
        stats = Channel(id).stats;
        const auto& pending = Channel(id).pending;
        stats.pendingReplies =
            size_t(std::count_if(pending.begin(), pending.end(), [](const TPending& p) { return p.last; }));
        TSimPort* port = Channel(id).port.get();
        if (port && port->IsOpen()) {
            port->HandleNotify();
            stats.openers = port->Openers();
        }
    });
    return stats;
}

void TCellSimulator::WithCell(const std::function<void(TSimCell&)>& fn) {
    RunInLoop([&] {
        AdvancePhysics(TClock::now());
        fn(fCell);
    });
}

std::string TCellSimulator::Control(const std::string& line) {
    std::string answer;
    RunInLoop([&] { answer = TSimControl::Apply(*this, line); });
    return answer;
}

void TCellSimulator::ApplyVanish(TChannel& ch, bool vanish) {
    ch.pending.clear();
    ch.input.clear();
    if (vanish) {
        ch.port->Close();
        return;
    }
    if (ch.unplugged)
        return; // the power cycle brings the port back when the instrument is on again
    std::string error;
    if (!ch.port->Open(error))
        std::cerr << "ondrix-cellsim: " << error << std::endl;
}

void TCellSimulator::AdvancePhysics(TClock::time_point now) {
    if (now <= fPhysicsTime)
        return;
    const double wall = std::chrono::duration<double>(now - fPhysicsTime).count();
    fPhysicsTime = now;
    fCell.SetPumpDrive(fSmu.Drive());
    fCell.Advance(wall * fSpeed);
}

TCellSimulator::TClock::duration TCellSimulator::WireTime(const TChannel& ch, size_t bytes) const {
    if (!fOptions.wireTime || ch.baud <= 0)
        return TClock::duration::zero();
    return std::chrono::duration_cast<TClock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) * 10.0 / ch.baud));
}

std::string TCellSimulator::Garbage() {
    // What a wrong line speed or a noisy line gives: printable and high bytes, never a number.
    static const std::string pool =
        "!\"#$%&'()*/<=>?@ABCDFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdfghijklmnopqrstuvwxyz{|}~";
    std::uniform_int_distribution<int> length(8, 24);
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> high(0x80, 0xFE);
    std::string text;
    const int n = length(fGarbageRandom);
    for (int i = 0; i < n; ++i)
        text += (i % 3 == 2) ? static_cast<char>(high(fGarbageRandom)) : pool[pick(fGarbageRandom)];
    return text;
}

void TCellSimulator::ProcessLine(TChannel& ch, const std::string& line, TClock::time_point now) {
    ++ch.stats.linesReceived;
    const TInstrumentFaults& faults = ch.instrument->Faults();
    if (faults.Get(TFault::Silent) || ch.poweredOff) {
        ++ch.stats.linesIgnored;
        return;
    }
    const auto interrupted = std::count_if(ch.pending.begin(), ch.pending.end(),
                                           [](const TPending& p) { return p.late && p.last; });
    ch.pending.erase(
        std::remove_if(ch.pending.begin(), ch.pending.end(), [](const TPending& p) { return p.late; }),
        ch.pending.end());
    if (interrupted > 0) {
        ch.stats.repliesInterrupted += uint64_t(interrupted);
        ch.instrument->PushError(-410, "Query INTERRUPTED");
    }
    AdvancePhysics(now);
    const TClock::time_point arrival = now + WireTime(ch, line.size() + 1);
    const TScpiResult result = ch.instrument->Execute(line);
    fCell.SetPumpDrive(fSmu.Drive());
    const TClock::time_point done =
        std::max(arrival, ch.readyAt) +
        std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(result.busyS));
    ch.readyAt = done;
    if (!result.hasReply)
        return;
    std::string reply = result.reply;
    if (faults.Get(TFault::Echo))
        reply = TScpiParser::Trim(line);
    if (faults.Get(TFault::Garbage))
        reply = Garbage();
    reply += fOptions.terminator;
    TClock::time_point due = done + WireTime(ch, reply.size());
    TClock::time_point firstByteDue = done + WireTime(ch, 1);
    const bool late = faults.Get(TFault::Slow);
    if (late) {
        due += std::chrono::milliseconds(fSlowReplyMs);
        firstByteDue += std::chrono::milliseconds(fSlowReplyMs);
    }
    // On a paced line the first byte arrives one byte time after the reading, the rest when the
    // whole reply has crossed the wire, as a listener on a real line sees it.
    if (firstByteDue < due && reply.size() > 1) {
        ch.pending.push_back({firstByteDue, reply.substr(0, 1), late, false});
        ch.pending.push_back({due, reply.substr(1), late, true});
    } else {
        ch.pending.push_back({due, reply, late, true});
    }
}

void TCellSimulator::Serve(TChannel& ch, TClock::time_point now) {
    if (!ch.port || !ch.port->IsOpen())
        return;
    ch.port->HandleNotify();
    ch.input += ch.port->ReadAvailable();
    size_t start = 0;
    for (size_t i = 0; i < ch.input.size(); ++i) {
        if (ch.input[i] != '\r' && ch.input[i] != '\n')
            continue;
        const std::string line = ch.input.substr(start, i - start);
        start = i + 1;
        if (!TScpiParser::Trim(line).empty())
            ProcessLine(ch, line, now);
    }
    ch.input.erase(0, start);
    if (ch.input.size() > kMaxLineBytes)
        ch.input.clear(); // no terminator in sight: drop the runaway input
}

void TCellSimulator::Deliver(TChannel& ch, TClock::time_point now) {
    // Opens and closes of the port that came before this moment are taken in first: one noticed
    // only after a reply went out would flush that reply, which belongs to the newest opener.
    if (ch.port && ch.port->IsOpen() && !ch.pending.empty() && ch.pending.front().due <= now)
        ch.port->HandleNotify();
    while (!ch.pending.empty() && ch.pending.front().due <= now) {
        const TPending& p = ch.pending.front();
        const bool written = ch.port && ch.port->Write(p.bytes);
        if (p.last)
            ++(written ? ch.stats.repliesSent : ch.stats.repliesDropped);
        ch.pending.pop_front();
    }
}

void TCellSimulator::ReadControlFifo() {
    if (fControlFd < 0)
        return;
    char buffer[1024];
    while (true) {
        const ssize_t n = ::read(fControlFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        fControlInput.append(buffer, static_cast<size_t>(n));
    }
    size_t newline;
    while ((newline = fControlInput.find('\n')) != std::string::npos) {
        const std::string line = TScpiParser::Trim(fControlInput.substr(0, newline));
        fControlInput.erase(0, newline + 1);
        if (line.empty())
            continue;
        const std::string answer = TSimControl::Apply(*this, line);
        std::cerr << "ondrix-cellsim: " << line << " -> " << answer << std::endl;
    }
    if (fControlInput.size() > kMaxLineBytes)
        fControlInput.clear();
}

void TCellSimulator::Loop() {
    while (!fStopRequested) {
        std::vector<pollfd> fds;
        fds.push_back({fWakeFd, POLLIN, 0});
        if (fControlFd >= 0)
            fds.push_back({fControlFd, POLLIN, 0});
        for (TChannel* ch : {&fSmuChannel, &fDmmChannel}) {
            if (ch->port && ch->port->IsOpen()) {
                fds.push_back({ch->port->MasterFd(), POLLIN, 0});
                if (ch->port->NotifyFd() >= 0)
                    fds.push_back({ch->port->NotifyFd(), POLLIN, 0});
            }
        }
        int timeoutMs = kIdlePollMs;
        const TClock::time_point before = TClock::now();
        const auto limitWait = [&](TClock::time_point due) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - before);
            timeoutMs = std::clamp(static_cast<int>(wait.count()), 0, timeoutMs);
        };
        for (TChannel* ch : {&fSmuChannel, &fDmmChannel}) {
            if (!ch->pending.empty())
                limitWait(ch->pending.front().due);
            if (ch->poweredOff)
                limitWait(ch->powerOnAt);
            if (ch->scheduledCycleAt)
                limitWait(*ch->scheduledCycleAt);
        }
        ::poll(fds.data(), fds.size(), timeoutMs);
        uint64_t counter = 0;
        while (::read(fWakeFd, &counter, sizeof counter) > 0) {
        }
        const TClock::time_point now = TClock::now();
        AdvancePhysics(now);
        RunTasks();
        PowerCycleDue(fSmuChannel, now);
        PowerCycleDue(fDmmChannel, now);
        // Open/close events first, so a reply never reaches a port that was closed before it.
        Serve(fSmuChannel, now);
        Serve(fDmmChannel, now);
        ReadControlFifo();
        Deliver(fSmuChannel, TClock::now());
        Deliver(fDmmChannel, TClock::now());
    }
    RunTasks();
}
