#include "RunPolicy.h"

#include <algorithm>
#include <functional>
#include <map>

namespace {

// Numbers each distinct key from 1; an empty key gets 0 (holds nothing).
std::vector<uint32_t> NumberKeys(const std::vector<RunPolicy::Keys>& keys, std::string RunPolicy::Keys::*field,
                                 uint32_t& distinct)
{
    std::map<std::string, uint32_t> ids;
    std::vector<uint32_t> numbers;
    numbers.reserve(keys.size());
    for (const RunPolicy::Keys& key : keys) {
        const std::string& text = key.*field;
        if (text.empty()) {
            numbers.push_back(0);
            continue;
        }
        auto found = ids.emplace(text, static_cast<uint32_t>(ids.size() + 1)).first;
        numbers.push_back(found->second);
    }
    distinct = static_cast<uint32_t>(ids.size());
    return numbers;
}

} // namespace

RunPolicy::RunPolicy(const std::vector<Keys>& keys, DWORD bound)
    : phases_(keys.size(), Phase::NotStarted), readyStep_(keys.size(), JobStep::Finish), bound_(bound)
{
    uint32_t computers = 0, folders = 0;
    computerId_ = NumberKeys(keys, &Keys::computer, computers);
    folderId_ = NumberKeys(keys, &Keys::folder, folders);
    computerHeld_.assign(computers + 1, 0);
    folderHeld_.assign(folders + 1, 0);
    ready_.reserve(keys.size()); // each job enters the ready queue once: pushing never allocates
}

// Holds -----------------------------------------------------------------------------------

bool RunPolicy::IsHeld(size_t job) const noexcept
{
    return (computerId_[job] && computerHeld_[computerId_[job]]) || (folderId_[job] && folderHeld_[folderId_[job]]);
}

void RunPolicy::Hold(size_t job, bool on) noexcept
{
    if (computerId_[job]) computerHeld_[computerId_[job]] = on;
    if (folderId_[job]) folderHeld_[folderId_[job]] = on;
}

// Order and bound -------------------------------------------------------------------------

bool RunPolicy::FindDeployable(size_t* job) noexcept
{
    while (firstUnstarted_ < phases_.size() && phases_[firstUnstarted_] != Phase::NotStarted) ++firstUnstarted_;
    for (size_t i = firstUnstarted_; i < phases_.size(); ++i) {
        if (phases_[i] != Phase::NotStarted || IsHeld(i)) continue;
        if (job) *job = i;
        return true;
    }
    return false;
}

bool RunPolicy::NextDeploy(size_t& job) noexcept
{
    if (Ended() || deploying_ >= bound_ || !FindDeployable(&job)) return false;
    phases_[job] = Phase::Deploying;
    Hold(job, true);
    ++deploying_;
    return true;
}

bool RunPolicy::NextTransfer(JobStep& step, size_t& job) noexcept
{
    // A bound of 1 keeps one-after-another: every deployment that can be made first, then
    // the outcomes fetched one at a time.
    bool open = bound_ > 1 || Ended() || DeploymentsDone();
    if (!open || transferring_ >= bound_ || ready_.empty()) return false;
    std::pop_heap(ready_.begin(), ready_.end(), std::greater<size_t>());
    job = ready_.back();
    ready_.pop_back();
    step = readyStep_[job];
    phases_[job] = Phase::Busy;
    ++transferring_;
    if (step == JobStep::Fetch) ++fetching_;
    return true;
}

void RunPolicy::MakeReady(size_t job, JobStep step) noexcept
{
    phases_[job] = Phase::Ready;
    readyStep_[job] = step;
    ready_.push_back(job);
    std::push_heap(ready_.begin(), ready_.end(), std::greater<size_t>());
}

// Steps -----------------------------------------------------------------------------------

bool RunPolicy::DeployEnded(size_t job, bool agentRuns, bool wasSetAside, PolicyActions& actions)
{
    if (wasSetAside)
        --setAside_;
    else
        --deploying_;
    if (!agentRuns) {
        phases_[job] = Phase::Busy; // finished on the target by its step: only counting is left
        return false;
    }
    if (Ended()) {
        actions.GiveEndingResult(job, Ending());
        MakeReady(job, JobStep::Finish);
        return false;
    }
    return true;
}

bool RunPolicy::SetAside(size_t job) noexcept
{
    if (!SetAsideAllowed() || phases_[job] != Phase::Deploying) return false;
    ++setAside_;
    --deploying_;
    return true;
}

void RunPolicy::Waiting(size_t job) noexcept { phases_[job] = Phase::Waiting; }

bool RunPolicy::OutcomeArrived(size_t job, bool fetch) noexcept
{
    if (phases_[job] != Phase::Waiting) return false;
    MakeReady(job, fetch ? JobStep::Fetch : JobStep::Finish);
    return true;
}

void RunPolicy::TransferEnded(size_t job) noexcept
{
    --transferring_;
    if (readyStep_[job] == JobStep::Fetch) --fetching_;
}

void RunPolicy::Counted(size_t job) noexcept
{
    // Finishing once: a job is counted from any phase but Counted.
    if (phases_[job] == Phase::Counted) return;
    phases_[job] = Phase::Counted;
    Hold(job, false);
    ++counted_;
}

// Endings ---------------------------------------------------------------------------------

void RunPolicy::End(RunEnding ending, PolicyActions& actions)
{
    if (ending == RunEnding::None || cancelled_) return;
    if (ending == RunEnding::Cancelled) {
        cancelled_ = true;
    } else {
        if (ending_ != RunEnding::None) return;
        ending_ = ending;
    }
    // The time limit reaches only jobs whose outcome has not arrived; Cancel and a failed
    // wait also reach those queued for their fetch or finishing.
    const bool reachesReady = ending != RunEnding::TimedOut;
    for (size_t job = 0; job < phases_.size(); ++job) {
        switch (phases_[job]) {
        case Phase::NotStarted:
            actions.FinishUnstarted(job, ending);
            break;
        case Phase::Waiting:
            actions.GiveEndingResult(job, ending);
            MakeReady(job, JobStep::Finish);
            break;
        case Phase::Ready:
            if (!reachesReady) break;
            actions.GiveEndingResult(job, ending);
            readyStep_[job] = JobStep::Finish;
            break;
        case Phase::Deploying: // the deployment sees the cancel itself; see DeployEnded
        case Phase::Busy:      // a fetch under way sees the cancel itself
        case Phase::Counted:
            break;
        }
    }
}
