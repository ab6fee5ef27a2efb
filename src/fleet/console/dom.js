// Elements built from data, never from HTML text: whatever a module or a key
// name holds is shown as text.
export function h(tag, attributes, ...children) {
  const element = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (value === undefined || value === null || value === false) continue;
    if (name.startsWith('on')) element.addEventListener(name.slice(2), value);
    else if (name === 'class') element.className = value;
    else element.setAttribute(name, value === true ? '' : String(value));
  }
  append(element, children);
  return element;
}

function append(element, children) {
  for (const child of children.flat(Infinity)) {
    if (child === null || child === undefined || child === false) continue;
    element.append(child instanceof Node ? child : String(child));
  }
}

export function replace(element, ...children) {
  element.replaceChildren();
  append(element, children);
  return element;
}

// "2026-12-08T05:01:02Z" in the browser's time zone: "2026-12-08 08:01:02".
export function localTime(text) {
  if (!text) return '';
  const date = new Date(text);
  if (Number.isNaN(date.getTime())) return text;
  const pad = (n) => String(n).padStart(2, '0');
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())} ` +
    `${pad(date.getHours())}:${pad(date.getMinutes())}:${pad(date.getSeconds())}`;
}

// Seconds since the time, or null.
export function ageSeconds(text, now = Date.now()) {
  if (!text) return null;
  const then = new Date(text).getTime();
  if (Number.isNaN(then)) return null;
  return Math.max(0, Math.round((now - then) / 1000));
}

// A file the user picked, as the API takes it: a settings document (parsed)
// or a .prg in base64.
export async function readUpload(file) {
  if (!file) return null;
  if (/\.prg$/i.test(file.name)) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { prg: btoa(binary), name: file.name };
  }
  const text = await file.text();
  return { settings: JSON.parse(text), name: file.name };
}
