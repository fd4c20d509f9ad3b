"""The exception of a status the library reported."""


class ZelError(Exception):
    """A file the library refused, or a write it could not complete.

    ``code`` is the library's status code (RPC III, DAC or modal-export
    family, as the call that failed belongs to) and ``message`` its text.
    """

    def __init__(self, code, message):
        super().__init__(code, message)
        self.code = code
        self.message = message

    def __str__(self):
        return f"{self.message} (code {self.code})"
