// The simulated ward: one patient per bed, with vital signs that drift around the patient's own normal
// values, and the HL7 2.3 observation message a monitoring central station sends for a bed.
#pragma once

#include "SimRandom.h"

#include "hl7/MessageSplitter.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cssim {

class TWard {
public:
    // aperiodicEverySeconds: each bed takes a non-invasive blood pressure that often (0: never), the
    // first one at a random moment of the first interval after `start`.
    TWard(int beds, std::uint64_t seed, halcyra::TDateTime start, double aperiodicEverySeconds);

    int Beds() const { return static_cast<int>(beds_.size()); }

    // The next message of bed (from 0) at `time`: MSH, PID, PV1, OBR with the time, and one numeric OBX per
    // vital sign; a blood pressure taken since the bed's previous message comes as aperiodic OBXs carrying
    // their own time.
    halcyra::TSegmentList NextMessage(int bed, halcyra::TDateTime time);

private:
    struct TBed {
        std::string identifier;  // PID-3
        std::string name;        // PID-5
        std::string birthDate;
        std::string sex;
        bool arterialLine = false;
        std::vector<double> mean;
        std::vector<double> value;
        halcyra::TDateTime lastTime = 0;
        halcyra::TDateTime nextCuff = 0;
    };

    void Drift(TBed& bed, double seconds);

    TSimRandom random_;
    std::vector<TBed> beds_;
    double cuffEvery_ = 0;
    std::uint64_t controlId_ = 0;
};

}  // namespace cssim
