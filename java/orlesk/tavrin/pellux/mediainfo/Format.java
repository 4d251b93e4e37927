package orlesk.tavrin.pellux.mediainfo;

/** The format block of a media type: DV, video or wave. */
public abstract class Format {
}
