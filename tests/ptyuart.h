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
// Forgets the requests made of every device.
void ptyuart_forget(void);
// Makes every device refuse any character size but 8 and any parity, as a
// UART that cannot make them does.
void ptyuart_refuse_frames(int refuse);

#ifdef __cplusplus
}
#endif

#endif // PTYUART_H
