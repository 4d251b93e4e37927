package orlesk.tavrin.pellux;

/** A failure inside the capture library that carries no COM error code. */
public class PelluxRuntimeException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    public PelluxRuntimeException(String message) {
        super(message);
    }
}
