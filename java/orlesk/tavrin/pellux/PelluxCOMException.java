package orlesk.tavrin.pellux;

/** A COM or DirectShow call inside the capture library failed. */
public class PelluxCOMException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int hresult;
    private final String errorText;

    public PelluxCOMException(String message, int hresult, String errorText) {
        super(message);
        this.hresult = hresult;
        this.errorText = errorText;
    }

    /** The failing HRESULT, as the signed 32-bit value COM returned. */
    public int getHResult() {
        return hresult;
    }

    /** The platform's text for the HRESULT; may be empty. */
    public String getErrorText() {
        return errorText;
    }

    @Override
    public String toString() {
        return super.toString() + String.format(" (HRESULT 0x%08X: %s)", hresult, errorText);
    }
}
