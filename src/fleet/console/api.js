// Every call of the console goes through the operator API with the key the
// user signed in with; the key lives in this tab's sessionStorage only.
const kKey = 'kv6.key';

export class ApiError extends Error {
  constructor(status, message, body) {
    super(message);
    this.status = status;
    this.body = body;
  }
}

export const session = {
  key: () => sessionStorage.getItem(kKey),
  keep: (key) => sessionStorage.setItem(kKey, key),
  forget: () => sessionStorage.removeItem(kKey),
};

let onUnauthorized = () => {};
export function whenUnauthorized(callback) {
  onUnauthorized = callback;
}

async function send(method, path, body, key) {
  const headers = { Authorization: `Bearer ${key}` };
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  let response;
  try {
    response = await fetch(`/api/v1/${path}`, {
      method,
      headers,
      body: body === undefined ? undefined : JSON.stringify(body),
      cache: 'no-store',
      credentials: 'omit',
    });
  } catch (error) {
    throw new ApiError(0, error.message, null);
  }
  const type = response.headers.get('Content-Type') || '';
  const data = type.startsWith('application/json') ? await response.json().catch(() => null) : await response.blob();
  if (!response.ok) {
    const message = data && data.error ? data.error : `${response.status} ${response.statusText}`;
    throw new ApiError(response.status, message, data);
  }
  return data;
}

// The API's answer; a refused key signs the user out.
export async function api(method, path, body) {
  const key = session.key();
  if (!key) {
    onUnauthorized();
    throw new ApiError(401, 'no key', null);
  }
  try {
    return await send(method, path, body, key);
  } catch (error) {
    if (error.status === 401) onUnauthorized();
    throw error;
  }
}

// Who the key is: {name, role}. Throws ApiError 401 for a wrong key.
export function whoami(key) {
  return send('GET', 'whoami', undefined, key);
}

export function query(parameters) {
  const search = new URLSearchParams();
  for (const [name, value] of Object.entries(parameters)) {
    if (value !== undefined && value !== null && value !== '') search.set(name, value);
  }
  const text = search.toString();
  return text ? `?${text}` : '';
}

// What each role may do, as the API decides it; the console only leaves out
// buttons a key may not use.
const kRank = { viewer: 0, operator: 1, admin: 2 };
export function may(role, needed) {
  return (kRank[role] ?? -1) >= kRank[needed];
}
