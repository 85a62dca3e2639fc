// SPDX-License-Identifier: GPL-3.0-or-later
// A keyboard for the end-to-end tests, in a process of its own (as a real one is): `jack_keys CLIENT` opens
// the JACK client CLIENT with the MIDI output port "keys", says "ready" on stdout, then plays every line of
// stdin ("92 3c 64": one message in hex) at the start of the next cycle. It quits at the end of its input.
#include "platform/StampedRing.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

StampedRing g_toPlay;
jack_port_t* g_port = nullptr;

int Process(jack_nframes_t nframes, void*) {
    void* buffer = jack_port_get_buffer(g_port, nframes);
    jack_midi_clear_buffer(buffer);
    while (const StampedRing::Message* m = g_toPlay.Front()) {
        if (jack_midi_event_write(buffer, 0, m->bytes, m->tag) != 0) break;
        g_toPlay.Pop();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (client == nullptr) return 1;
    g_port = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (g_port == nullptr || jack_set_process_callback(client, &Process, nullptr) != 0 || jack_activate(client) != 0)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::istringstream in(line);
        StampedRing::Message m;
        for (unsigned value = 0; m.tag < 3 && in >> std::hex >> value;)
            m.bytes[m.tag++] = static_cast<std::uint8_t>(value);
        if (m.tag > 0) g_toPlay.Push(m);
    }
    jack_client_close(client);
    return 0;
}
