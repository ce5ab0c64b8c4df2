#include "tools/plcsim/plc_simulator.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/plc_health_codec.h"
#include "server/hostlink/serial_settings.h"
#include "tools/plcsim/sim_unit.h"

namespace {

using Clock = std::chrono::steady_clock;

// First reply frame of a read: 30 words after the 7-character header; later frames 31.
constexpr std::size_t kFirstReplyChars = 120;
constexpr std::size_t kLaterReplyChars = 124;

MemoryArea areaFromLetter(char letter)
{
    for (int a = 1; a <= 7; ++a) {
        if (headerLetter(static_cast<MemoryArea>(a)) == letter)
            return static_cast<MemoryArea>(a);
    }
    return MemoryArea::None;
}

bool decimalField(const std::string& text, std::size_t at, std::size_t width, unsigned* out)
{
    if (at + width > text.size())
        return false;
    unsigned v = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + unsigned(text[i] - '0');
    }
    *out = v;
    return true;
}

bool endsFinal(const std::string& frame)
{
    return frame.size() >= 2 && frame[frame.size() - 2] == '*';
}

// FCS position of a received or built frame: before "*" CR or before the lone CR.
std::size_t fcsPosition(const std::string& frame)
{
    const std::size_t tail = endsFinal(frame) ? 4 : 3;
    return frame.size() >= tail ? frame.size() - tail : std::string::npos;
}

bool fcsMatches(const std::string& frame)
{
    const std::size_t at = fcsPosition(frame);
    if (at == std::string::npos)
        return false;
    char expected[2];
    appendFcs(frame.data(), at, expected);
    return frame[at] == expected[0] && frame[at + 1] == expected[1];
}

// header plus an end code, FCS, "*" CR: the reply that carries no data.
std::string statusReply(std::uint8_t unit, const std::string& header, std::uint8_t endCode)
{
    std::string f = "@00" + header + "00";
    putNumber(unit, f.data() + 1, 2, 10);
    putNumber(endCode, f.data() + 5, 2, 16);
    char fcs[2];
    appendFcs(f.data(), f.size(), fcs);
    f.append(fcs, 2);
    f += "*\r";
    return f;
}

std::string printable(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c >= 32 && c < 127)
            out += c;
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(static_cast<unsigned char>(c)));
            out += hex;
        }
    }
    return out;
}

} // namespace

struct PlcSimulator::PendingRead {
    std::uint8_t unit = 0;
    MemoryArea area = MemoryArea::DM;
    std::string header;
    std::vector<std::uint16_t> words;  // taken when the command came
    std::size_t next = 0;
    bool firstSent = false;
    SimFault fault;
};

struct PlcSimulator::PendingWrite {
    std::uint8_t unit = 0;
    MemoryArea area = MemoryArea::DM;
    std::string header;
    std::uint16_t address = 0;
    std::vector<std::uint16_t> words;
    SimFault fault;
    bool started = false;  // the first frame's data has been taken
};

PlcSimulator::PlcSimulator() : PlcSimulator(Options{}) {}

PlcSimulator::PlcSimulator(Options options) : options_(std::move(options))
{
    for (std::uint8_t u : options_.units)
        addUnit(u);
    animationStart_ = Clock::now();
}

std::optional<SerialSettings> PlcSimulator::lineSettings() const
{
    termios t{};
    if (master_ < 0 || ::tcgetattr(master_, &t) != 0)
        return std::nullopt;
    return settingsOf(t);
}

PlcSimulator::~PlcSimulator()
{
    stop();
}

void PlcSimulator::addUnit(std::uint8_t unit)
{
    std::lock_guard lock(mutex_);
    for (std::uint8_t u : served_) {
        if (u == unit)
            return;
    }
    served_.push_back(unit);
    unitCreate(unit);
}

std::vector<std::uint8_t> PlcSimulator::units() const
{
    std::lock_guard lock(mutex_);
    return served_;
}

PlcSimulator::Unit& PlcSimulator::unitCreate(std::uint8_t unit)
{
    auto& slot = memory_[unit];
    if (!slot)
        slot = std::make_unique<Unit>();
    return *slot;
}

PlcSimulator::Unit* PlcSimulator::unitFor(std::uint8_t unit)
{
    auto it = memory_.find(unit);
    return it == memory_.end() ? nullptr : it->second.get();
}

const PlcSimulator::Unit* PlcSimulator::unitFor(std::uint8_t unit) const
{
    auto it = memory_.find(unit);
    return it == memory_.end() ? nullptr : it->second.get();
}

bool PlcSimulator::serves(std::uint8_t unit) const
{
    for (std::uint8_t u : served_) {
        if (u == unit)
            return true;
    }
    return false;
}

// ---- memory ----

bool PlcSimulator::setWord(std::uint8_t unit, MemoryArea area, std::uint16_t address,
                           std::uint16_t value)
{
    return setWords(unit, area, address, {value});
}

bool PlcSimulator::setWords(std::uint8_t unit, MemoryArea area, std::uint16_t address,
                            const std::vector<std::uint16_t>& values)
{
    if (simAreaSize(area) == 0 || std::size_t(address) + values.size() > simAreaSize(area))
        return false;
    std::lock_guard lock(mutex_);
    auto& words = unitCreate(unit).area(area);
    for (std::size_t i = 0; i < values.size(); ++i)
        words[address + i] = area == MemoryArea::TG ? (values[i] != 0) : values[i];
    return true;
}

std::optional<std::uint16_t> PlcSimulator::word(std::uint8_t unit, MemoryArea area,
                                                std::uint16_t address) const
{
    std::lock_guard lock(mutex_);
    const Unit* u = unitFor(unit);
    if (!u || address >= simAreaSize(area))
        return std::nullopt;
    return u->area(area)[address];
}

std::vector<std::uint16_t> PlcSimulator::words(std::uint8_t unit, MemoryArea area,
                                               std::uint16_t address, std::size_t count) const
{
    std::lock_guard lock(mutex_);
    const Unit* u = unitFor(unit);
    if (!u || std::size_t(address) + count > simAreaSize(area))
        return {};
    const auto& w = u->area(area);
    return {w.begin() + address, w.begin() + address + static_cast<std::ptrdiff_t>(count)};
}

void PlcSimulator::clearMemory()
{
    std::lock_guard lock(mutex_);
    for (auto& [n, unit] : memory_) {
        const SimMode mode = unit->mode;
        *unit = Unit();
        unit->mode = mode;
    }
}

void PlcSimulator::setMode(std::uint8_t unit, SimMode mode)
{
    std::lock_guard lock(mutex_);
    unitCreate(unit).mode = mode;
}

void PlcSimulator::setModel(std::uint8_t unit, std::uint8_t code)
{
    std::lock_guard lock(mutex_);
    unitCreate(unit).model = code;
}

void PlcSimulator::setErrors(std::uint8_t unit, bool fatal, bool fals, const std::string& message)
{
    std::lock_guard lock(mutex_);
    Unit& u = unitCreate(unit);
    u.fatal = fatal;
    u.fals = fals;
    u.message = message.substr(0, 16);
}

void PlcSimulator::setRunLock(bool on)
{
    runLock_ = on;
}

SimMode PlcSimulator::mode(std::uint8_t unit) const
{
    std::lock_guard lock(mutex_);
    const Unit* u = unitFor(unit);
    return u ? u->mode : SimMode::Monitor;
}

// ---- faults ----

void PlcSimulator::setFault(std::uint8_t unit, const std::string& command, const SimFault& fault)
{
    std::lock_guard lock(mutex_);
    faults_[{unit, command}] = fault;
}

void PlcSimulator::clearFault(std::uint8_t unit, const std::string& command)
{
    std::lock_guard lock(mutex_);
    faults_.erase({unit, command});
}

void PlcSimulator::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

SimFault PlcSimulator::takeFault(std::uint8_t unit, const std::string& command)
{
    std::lock_guard lock(mutex_);
    for (const std::string& key : {command, std::string("*")}) {
        auto it = faults_.find({unit, key});
        if (it == faults_.end())
            continue;
        SimFault fault = it->second;
        if (it->second.remaining > 0 && --it->second.remaining == 0)
            faults_.erase(it);
        return fault;
    }
    return {};
}

// ---- animation ----

void PlcSimulator::addAnimation(const SimAnimation& animation)
{
    std::lock_guard lock(mutex_);
    unitCreate(animation.unit);
    animations_.push_back(animation);
    animationDue_.push_back(Clock::now());
}

void PlcSimulator::clearAnimations()
{
    std::lock_guard lock(mutex_);
    animations_.clear();
    animationDue_.clear();
}

void PlcSimulator::animate(std::chrono::steady_clock::time_point now)
{
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < animations_.size(); ++i) {
        if (now < animationDue_[i])
            continue;
        const SimAnimation& a = animations_[i];
        animationDue_[i] = now + std::chrono::milliseconds(a.everyMs);
        Unit* unit = unitFor(a.unit);
        if (!unit || a.address >= unit->area(a.area).size())
            continue;
        std::uint16_t& w = unit->area(a.area)[a.address];
        switch (a.kind) {
        case SimAnimation::Kind::Count:
            w = static_cast<std::uint16_t>(w + static_cast<int>(a.a));
            break;
        case SimAnimation::Kind::BcdCount: {
            int n = 0;
            for (int shift = 12; shift >= 0; shift -= 4)
                n = n * 10 + std::min((w >> shift) & 0xF, 9);
            n = (n + 1) % 10000;
            w = static_cast<std::uint16_t>(((n / 1000) << 12) | ((n / 100 % 10) << 8) |
                                           ((n / 10 % 10) << 4) | (n % 10));
            break;
        }
        case SimAnimation::Kind::Sine: {
            const double t =
                std::chrono::duration<double, std::milli>(now - animationStart_).count();
            const double v = a.b + a.a * std::sin(2 * M_PI * t / a.periodMs);
            w = static_cast<std::uint16_t>(static_cast<std::int32_t>(std::lround(v)));
            break;
        }
        case SimAnimation::Kind::Clock: {
            // The wall clock's milliseconds within the minute: a reader that sees the word
            // knows when it changed (latency measurements).
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch()).count();
            w = static_cast<std::uint16_t>(ms % 60000);
            break;
        }
        case SimAnimation::Kind::Toggle:
            w = static_cast<std::uint16_t>(w ^ static_cast<std::uint16_t>(a.a));
            if (a.area == MemoryArea::TG)
                w &= 1;
            break;
        }
    }
}

// ---- counters ----

SimCounters PlcSimulator::counters() const
{
    std::lock_guard lock(mutex_);
    return counters_;
}

void PlcSimulator::resetCounters()
{
    std::lock_guard lock(mutex_);
    counters_ = {};
}

// ---- the pty ----

std::string PlcSimulator::devicePath() const
{
    return options_.linkPath.empty() ? slavePath_ : options_.linkPath;
}

bool PlcSimulator::start(std::string* error)
{
    if (running_)
        return true;
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what + ": " + std::strerror(errno);
        if (master_ >= 0)
            ::close(master_);
        if (slaveKeep_ >= 0)
            ::close(slaveKeep_);
        master_ = slaveKeep_ = -1;
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return fail("cannot open a pseudo-terminal");
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
        return fail("cannot set up the pseudo-terminal");
    slavePath_ = name;
    // Holding the slave open keeps the master from seeing a hang-up whenever the host closes
    // its side; raw, so that nothing is echoed back before the host sets its own settings.
    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveKeep_ < 0)
        return fail("cannot open " + slavePath_);
    termios t{};
    if (::tcgetattr(slaveKeep_, &t) == 0) {
        ::cfmakeraw(&t);
        if (const int e = applyTermios(slaveKeep_, t, true); e != 0) {
            errno = e;
            return fail("cannot make " + slavePath_ + " raw");
        }
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!options_.linkPath.empty()) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(options_.linkPath, ec);
        if (std::filesystem::is_symlink(status))
            std::filesystem::remove(options_.linkPath, ec);
        if (::symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0)
            return fail("cannot make the link " + options_.linkPath);
    }
    {
        std::lock_guard lock(mutex_);
        if (served_.empty()) {
            for (const auto& [n, unit] : memory_)
                served_.push_back(n);
            if (served_.empty()) {
                served_.push_back(0);
                unitCreate(0);
            }
        }
    }
    stopRequested_ = false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PlcSimulator::stop()
{
    if (!running_)
        return;
    stopRequested_ = true;
    if (thread_.joinable())
        thread_.join();
    running_ = false;
    ::close(master_);
    ::close(slaveKeep_);
    master_ = slaveKeep_ = -1;
    inbox_.clear();
    pendingRead_.reset();
    pendingWrite_.reset();
    if (!options_.linkPath.empty()) {
        // Only our own link: a newer simulator may have taken the path over.
        std::error_code ec;
        if (std::filesystem::read_symlink(options_.linkPath, ec) == slavePath_)
            std::filesystem::remove(options_.linkPath, ec);
    }
}

void PlcSimulator::run()
{
    char buffer[512];
    while (!stopRequested_) {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard lock(mutex_);
                    counters_.charsIn += static_cast<std::uint64_t>(n);
                }
                inbox_.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t cr; !stopRequested_ && (cr = inbox_.find('\r')) != std::string::npos;) {
                    std::string frame = inbox_.substr(0, cr + 1);
                    inbox_.erase(0, cr + 1);
                    handleFrame(frame);
                }
                // A line of noise without CR must not grow for ever.
                if (inbox_.size() > 4096)
                    inbox_.clear();
            }
        } else if (r > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        animate(Clock::now());
    }
}

namespace {

// Sleeps in small steps so that stop() is not held up by a long injected delay.
void pause(int ms, const std::atomic<bool>& stop)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!stop && Clock::now() < until)
        std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(5),
                                                              until - Clock::now()));
}

} // namespace

void PlcSimulator::handleFrame(const std::string& frame)
{
    {
        std::lock_guard lock(mutex_);
        ++counters_.framesIn;
    }
    if (options_.verbose)
        std::cerr << "plcsim < " << printable(frame) << std::endl;
    if (options_.baud > 0)
        pause(static_cast<int>(frame.size() * 11000 / options_.baud), stopRequested_);

    if (frame == "\r") {
        if (pendingRead_)
            sendReadFrame();
        return;
    }
    if (pendingWrite_ && frame[0] != '@') {
        handleContinuation(frame);
        return;
    }
    // A new command abandons whatever transfer was under way.
    pendingRead_.reset();
    pendingWrite_.reset();
    if (frame[0] == '@')
        handleCommand(frame);
}

void PlcSimulator::handleCommand(const std::string& frame)
{
    unsigned unitNumber = 0;
    if (frame.size() < 9 || !decimalField(frame, 1, 2, &unitNumber))
        return;
    const auto unit = static_cast<std::uint8_t>(unitNumber);
    bool known = false;
    {
        std::lock_guard lock(mutex_);
        ++counters_.commands;
        known = serves(unit);
    }
    // Another unit's command on a shared line: not ours to answer.
    if (!known)
        return;
    const std::string header = frame.substr(3, 2);
    const SimFault fault = takeFault(unit, header);
    if (fault.kind == SimFaultKind::Silence)
        return;
    if (!fcsMatches(frame)) {
        {
            std::lock_guard lock(mutex_);
            ++counters_.fcsErrors;
        }
        reply(statusReply(unit, header, 0x13), fault, true);
        return;
    }
    if (fault.kind == SimFaultKind::EndCode) {
        reply(statusReply(unit, header, static_cast<std::uint8_t>(fault.value)), fault, true);
        return;
    }
    const MemoryArea area = areaFromLetter(header[1]);
    const bool final = endsFinal(frame);
    if (header[0] == 'R' && area != MemoryArea::None) {
        unsigned address = 0, count = 0;
        if (!final || frame.size() != kReadCommandLength || !decimalField(frame, 5, 4, &address) ||
            !decimalField(frame, 9, 4, &count)) {
            reply(statusReply(unit, header, 0x15), fault, true);
            return;
        }
        if (address + count > simAreaSize(area)) {
            reply(statusReply(unit, header, 0x04), fault, true);
            return;
        }
        auto read = std::make_unique<PendingRead>();
        read->unit = unit;
        read->area = area;
        read->header = header;
        read->fault = fault;
        read->words = words(unit, area, static_cast<std::uint16_t>(address), count);
        pendingRead_ = std::move(read);
        sendReadFrame();
        return;
    }
    if (header[0] == 'W' && area != MemoryArea::None) {
        unsigned address = 0;
        if (!decimalField(frame, 5, 4, &address)) {
            reply(statusReply(unit, header, 0x15), fault, true);
            return;
        }
        if (runLock_ && mode(unit) == SimMode::Run) {
            reply(statusReply(unit, header, 0x01), fault, true);
            return;
        }
        auto write = std::make_unique<PendingWrite>();
        write->unit = unit;
        write->area = area;
        write->header = header;
        write->address = static_cast<std::uint16_t>(address);
        write->fault = fault;
        pendingWrite_ = std::move(write);
        handleContinuation(frame.substr(9));
        return;
    }
    if (fault.kind != SimFaultKind::NotSupported && handleHealthCommand(unit, header, frame, fault))
        return;
    // Not a command this controller knows.
    std::string ic = "@00IC";
    putNumber(unit, ic.data() + 1, 2, 10);
    char fcs[2];
    appendFcs(ic.data(), ic.size(), fcs);
    ic.append(fcs, 2);
    reply(ic + "*\r", fault, true);
}

bool PlcSimulator::handleHealthCommand(std::uint8_t unit, const std::string& header, const std::string& frame,
                                       const SimFault& fault)
{
    // Data between the header and the FCS.
    const std::string data = frame.size() >= 9 ? frame.substr(5, frame.size() - 9) : std::string();
    auto answer = [&](const std::string& body, bool endCode) {
        std::string f = "@00" + header + (endCode ? "00" : "") + body;
        putNumber(unit, f.data() + 1, 2, 10);
        char fcs[2];
        appendFcs(f.data(), f.size(), fcs);
        f.append(fcs, 2);
        reply(f + "*\r", fault, true);
    };
    if (header == "TS") {
        if (data.size() > 122) {
            reply(statusReply(unit, header, 0x15), fault, true);
            return true;
        }
        answer(data, false);
        return true;
    }
    if (header == "MM") {
        std::uint8_t model;
        {
            std::lock_guard lock(mutex_);
            model = unitCreate(unit).model;
        }
        char code[3];
        std::snprintf(code, sizeof code, "%02X", model);
        answer(code, true);
        return true;
    }
    if (header == "MS") {
        std::string body;
        {
            std::lock_guard lock(mutex_);
            const Unit& u = unitCreate(unit);
            const PlcMode mode = u.mode == SimMode::Run       ? PlcMode::Run
                                 : u.mode == SimMode::Monitor ? PlcMode::Monitor
                                                              : PlcMode::Program;
            char word[5];
            std::snprintf(word, sizeof word, "%04X", statusWord(mode, u.fatal, u.fals));
            body = word;
            if ((u.fatal || u.fals) && !u.message.empty())
                body += (u.message + std::string(16, ' ')).substr(0, 16);
        }
        answer(body, true);
        return true;
    }
    if (header == "SC") {
        const auto next = data.size() == 2 ? modeOfChangeCode(static_cast<std::uint8_t>(parseHex(data.data(), 2)))
                                           : std::nullopt;
        if (!next) {
            reply(statusReply(unit, header, 0x15), fault, true);
            return true;
        }
        setMode(unit, *next == PlcMode::Run       ? SimMode::Run
                      : *next == PlcMode::Monitor ? SimMode::Monitor
                                                  : SimMode::Program);
        answer("", true);
        return true;
    }
    return false;
}

void PlcSimulator::handleContinuation(const std::string& part)
{
    // Later frames carry their own FCS over their data; the first frame's FCS (which covers
    // the header too) was checked whole before its data part arrives here.
    const bool firstPart = !pendingWrite_->started;
    pendingWrite_->started = true;
    PendingWrite& w = *pendingWrite_;
    const bool final = endsFinal(part);
    const std::size_t fcsAt = fcsPosition(part);
    if (fcsAt == std::string::npos) {
        pendingWrite_.reset();
        return;
    }
    if (!firstPart && !fcsMatches(part)) {
        {
            std::lock_guard lock(mutex_);
            ++counters_.fcsErrors;
        }
        reply(statusReply(w.unit, w.header, 0x13), w.fault, true);
        pendingWrite_.reset();
        return;
    }
    const std::string data = part.substr(0, fcsAt);
    const std::size_t per = w.area == MemoryArea::TG ? 1 : 4;
    if (data.size() % per != 0) {
        reply(statusReply(w.unit, w.header, 0x15), w.fault, true);
        pendingWrite_.reset();
        return;
    }
    for (std::size_t i = 0; i < data.size(); i += per) {
        if (per == 1) {
            w.words.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(data[i]) - '0'));
        } else {
            for (std::size_t k = i; k < i + 4; ++k) {
                if (!std::isxdigit(static_cast<unsigned char>(data[k])) ||
                    std::islower(static_cast<unsigned char>(data[k]))) {
                    reply(statusReply(w.unit, w.header, 0x15), w.fault, true);
                    pendingWrite_.reset();
                    return;
                }
            }
            w.words.push_back(parseHex(data.data() + i, 4));
        }
    }
    if (!final) {
        // Ready for the next frame.
        SimFault plain = w.fault;
        if (plain.kind != SimFaultKind::Delay && plain.kind != SimFaultKind::Dribble)
            plain = {};
        reply("\r", plain, false);
        return;
    }
    finishWrite();
}

void PlcSimulator::finishWrite()
{
    std::unique_ptr<PendingWrite> w = std::move(pendingWrite_);
    if (std::size_t(w->address) + w->words.size() > simAreaSize(w->area)) {
        reply(statusReply(w->unit, w->header, 0x04), w->fault, true);
        return;
    }
    setWords(w->unit, w->area, w->address, w->words);
    reply(statusReply(w->unit, w->header, 0x00), w->fault, true);
}

void PlcSimulator::sendReadFrame()
{
    PendingRead& r = *pendingRead_;
    const std::size_t per = r.area == MemoryArea::TG ? 1 : 4;
    const bool first = !r.firstSent;
    const std::size_t budget = (first ? kFirstReplyChars : kLaterReplyChars) / per;
    const std::size_t take = std::min(budget, r.words.size() - r.next);
    const bool final = r.next + take == r.words.size();
    std::string f;
    if (first) {
        f = statusReply(r.unit, r.header, 0).substr(0, 7);
    }
    for (std::size_t i = r.next; i < r.next + take; ++i) {
        if (per == 1) {
            f += static_cast<char>('0' + (r.words[i] & 1));
        } else {
            char digits[4];
            putNumber(r.words[i], digits, 4, 16);
            f.append(digits, 4);
        }
    }
    char fcs[2];
    appendFcs(f.data(), f.size(), fcs);
    f.append(fcs, 2);
    f += final ? "*\r" : "\r";
    r.next += take;
    r.firstSent = true;
    SimFault fault = r.fault;
    // The frame faults hit the first frame; delay and dribble every one.
    if (!first && fault.kind != SimFaultKind::Delay && fault.kind != SimFaultKind::Dribble)
        fault = {};
    if (final)
        pendingRead_.reset();
    reply(std::move(f), fault, final);
}

void PlcSimulator::reply(std::string frame, const SimFault& fault, bool /*finalFrame*/)
{
    int dribble = 0;
    switch (fault.kind) {
    case SimFaultKind::Silence:
        return;
    case SimFaultKind::Delay:
        pause(fault.value, stopRequested_);
        break;
    case SimFaultKind::BadFcs:
        if (std::size_t at = fcsPosition(frame); at != std::string::npos)
            frame[at] = frame[at] == '0' ? '1' : '0';
        break;
    case SimFaultKind::GarbledFirstByte:
        frame[0] = frame[0] == '#' ? '$' : '#';
        break;
    case SimFaultKind::MissingTerminator:
        frame.pop_back();
        break;
    case SimFaultKind::CutMidFrame:
        frame.resize(frame.size() / 2);
        break;
    case SimFaultKind::Flood:
        frame.assign(512, '0');
        break;
    case SimFaultKind::Dribble:
        dribble = fault.value;
        break;
    default:
        break;
    }
    {
        std::lock_guard lock(mutex_);
        ++counters_.framesOut;
    }
    if (options_.verbose)
        std::cerr << "plcsim > " << printable(frame) << std::endl;
    sendPaced(frame, dribble);
}

void PlcSimulator::sendPaced(const std::string& bytes, int dribbleMs)
{
    if (dribbleMs > 0) {
        for (std::size_t i = 0; i < bytes.size() && !stopRequested_; ++i) {
            sendRaw(&bytes[i], 1);
            if (i + 1 < bytes.size())
                pause(dribbleMs, stopRequested_);
        }
        return;
    }
    if (options_.baud == 0) {
        sendRaw(bytes.data(), bytes.size());
        return;
    }
    // 11 bits a character (start, 7 data, parity, 2 stop): the pace of the real wire.
    const double perChar = 11.0 / options_.baud;
    const auto start = Clock::now();
    std::size_t sent = 0;
    while (sent < bytes.size() && !stopRequested_) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        std::size_t due = std::min(bytes.size(), static_cast<std::size_t>(elapsed / perChar) + 1);
        if (due > sent) {
            sendRaw(bytes.data() + sent, due - sent);
            sent = due;
        }
        if (sent < bytes.size())
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::max<long>(100, static_cast<long>(perChar * 1e6))));
    }
    const auto wireEnd = start + std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(perChar * double(bytes.size())));
    if (Clock::now() < wireEnd)
        std::this_thread::sleep_until(wireEnd);
}

void PlcSimulator::sendRaw(const char* bytes, std::size_t length)
{
    // Counted before they go, so that whoever has read the reply sees it counted.
    {
        std::lock_guard lock(mutex_);
        counters_.charsOut += length;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    std::size_t done = 0;
    while (done < length && !stopRequested_) {
        const ssize_t n = ::write(master_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        // Nobody reads the other side: give up rather than hang the line.
        if (Clock::now() >= deadline)
            break;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    if (done < length) {
        std::lock_guard lock(mutex_);
        counters_.charsOut -= length - done;
    }
}
