#pragma once
// One firmware update of the open box, as both front ends run it: the query,
// the service's answer, the check of the downloaded image, the hand-over to
// the bootloader and the flashing. The front end does the transfers (with
// NetGrab) and the talking to the user; every decision is made here.

#include <QByteArray>
#include <QString>
#include <optional>

#include "Connection.h"
#include "Flasher.h"
#include "Result.h"
#include "UpdateQuery.h"

namespace update {

// What the user typed or sees, as the query sends it.
struct QueryTexts {
    QString serial_caption;
    QString h1, h2, v1, v2;
};

class UpdateSequence {
public:
    UpdateSequence(device::DeviceConnection& conn, FlashEnvironment env, FlashLimits limits = {});

    // The query for the box open now. Its memory dump is read from the box;
    // a dump the box did not give is left out rather than filled with
    // whatever the buffer held. The bootloader is sent no command.
    QString query_url(const QString& host, const QueryTexts& texts);

    // The service's answer, against the box's version: BadAnswer (with the
    // reason) when it cannot be used.
    device::Result<Offer> take_answer(const QByteArray& body);
    // The accepted answer (valid after take_answer succeeded).
    const UpdateAnswer& answer() const { return *answer_; }
    // The bytes of the answer's image received so far, for the progress.
    void download_progress(qint64 bytes) const;

    // The downloaded image: exactly the announced size and whole pages, or
    // BadAnswer and nothing touches the box.
    device::Status take_image(const QByteArray& bytes);

    // The hand-over and the flashing of the image taken.
    FlashOutcome write();

private:
    device::DeviceConnection& conn_;
    FlashEnvironment env_;
    FlashLimits limits_;
    std::optional<UpdateAnswer> answer_;
    QByteArray image_;
};

}  // namespace update
