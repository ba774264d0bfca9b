#ifndef PTYUART_H
#define PTYUART_H

// What a test asks of the stand-in for a UART that ptyuart.c makes of a
// pty's slave. Every function takes a descriptor open on the device.
#ifdef __cplusplus
extern "C" {
#endif

// The requests the program made of the device's DTR and RTS and its
// breaks since ptyuart_forget, oldest first: "DTR+ RTS+ DTR- BRK+ BRK-".
const char *ptyuart_requests(int fd);
void ptyuart_forget(int fd);
// The device's DTR and RTS as TIOCM_DTR and TIOCM_RTS bits.
int ptyuart_lines(int fd);
// Makes the device refuse a character size or parity, as a bare pty does.
void ptyuart_refuse_frames(int refuse);

#ifdef __cplusplus
}
#endif

#endif // PTYUART_H
