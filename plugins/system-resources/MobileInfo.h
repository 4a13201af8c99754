#ifndef ORVANTA_SYSTEMRESOURCES_MOBILEINFO_H
#define ORVANTA_SYSTEMRESOURCES_MOBILEINFO_H

// The identifiers of the router's cellular connection: the modem's IMEI,
// the cell id of the mobile connection and the SIM card's ICCID. They are
// asked from the router tools (/usr/bin/rtrinfo, /usr/bin/cellctl) through
// the shell, each answer going through a scratch file under /var/orvanta/.
//
// The IMEI and the ICCID are asked for until a first non-empty answer and
// then kept for the life of the object (a new modem or SIM card is seen by
// a new object only); the cell id is asked for at every get(). Nothing is
// logged: an unknown value is simply the empty text.
class MobileInfo {
public:
    MobileInfo();

    // Runs the tools: the IMEI and ICCID commands only while those values
    // are unknown, the cell id command always. Blocks while they run.
    // Each scratch file is removed before its command. When /var/orvanta
    // is not a directory of the effective user's that only that user can
    // write to, nothing runs and the cell id becomes unknown.
    void get();

    // Never null; empty while unknown. Run nothing.
    const char* imei() const { return imeiText; }
    const char* cellid() const { return cellidText; }
    const char* iccid() const { return iccidText; }

private:
    char imeiText[16];
    char cellidText[16];
    char iccidText[32];
};

#endif
